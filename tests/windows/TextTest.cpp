// Code page 1254 through the system's own table, and the message catalogues read from the
// Windows build's folder.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/TextEncoding.h"
#include "platform/Translation.h"
#include "windows/Win32Support.h"

namespace {

TEST(Win32Text, CodePage1254BecomesUtf8) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"AB12", "AB12"},
        {"\xDE\xFD\xE7", "\xC5\x9E\xC4\xB1\xC3\xA7"},  // Ş ı ç
        {"\xD0\xF0\xDD", "\xC4\x9E\xC4\x9F\xC4\xB0"},  // Ğ ğ İ
        {"\x80", "\xE2\x82\xAC"},                      // €
        {"\x81\x8D", "\xC2\x81\xC2\x8D"},              // undefined: kept as code points
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::codePage1254ToUtf8(c.in), c.out) << c.in;
    }
    EXPECT_EQ(platform::codePage1254ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Win32Text, TurkishCataloguesAreReadFromTheProgramsFolder) {
    namespace i18n = platform::i18n;
    i18n::bindDomain("default", besideTests("locale"));
    i18n::registerDomain("cport");
    i18n::setLanguage("tr_TR");
    EXPECT_EQ(i18n::translate("cport", "Unable to open com port"),
              "Seri port a\xC3\xA7\xC4\xB1lamad\xC4\xB1");
    EXPECT_EQ(i18n::translate("cport", " (win error code: %d)"), " (win hata kodu: %d)");
    i18n::setLanguage("");
    EXPECT_EQ(i18n::translate("cport", "Unable to open com port"), "Unable to open com port");
}

}  // namespace
