#include <algorithm>
#include <map>
#include <vector>

#include "platform/LastError.h"
#include "platform/ProcessLauncher.h"
#include "platform/TextEncoding.h"
#include "result/ResultInterface.h"

namespace {

const std::map<std::string, std::string>& testNumbers() {
    static const std::map<std::string, std::string> table = {
        {"WBC", "37"},  {"RBC", "38"},  {"HGB", "39"},  {"HCT", "40"},  {"MCV", "41"},
        {"MCH", "42"},  {"MCHC", "43"}, {"PLT", "44"},  {"MPV", "45"},  {"RDW", "46"},
        {"PCT", "47"},  {"PDW", "48"},  {"LYM%", "49"}, {"MON%", "50"}, {"GRA%", "51"},
        {"LYM#", "52"}, {"MON#", "53"}, {"GRA#", "54"},
    };
    return table;
}

// The host screen's line for a launch that failed, in Turkish (code page 1254).
std::string launchFailure(int error) {
    std::string reason;
    switch (platform::launchErrorKind(error)) {
        case platform::LaunchError::NotFound:
            reason = "dosya bulunamad\xFD";
            break;  // file not found
        case platform::LaunchError::NoPermission:
            reason = "eri\xFEim izni yok";
            break;  // no permission
        case platform::LaunchError::NotAProgram:
            reason =
                "\xE7"
                "al\xFD\xFEt\xFDr\xFDlabilir de\xF0il";
            break;  // not a program
        case platform::LaunchError::Other:
            reason = "sistem hatas\xFD";
            break;  // system error
    }
    return "Y\xFCkleyici ba\xFElat\xFDlamad\xFD (hata " + std::to_string(error) + ": " + reason +
           ")";
}

// An argument ends at a NUL on every platform (a C string, a command line): cut there, so
// the other arguments still arrive whole.
std::string argument(const std::string& field) {
    return field.substr(0, field.find('\0'));
}

}  // namespace

std::string TestNumberOf(const std::string& Code) {
    const auto& table = testNumbers();
    const auto it = table.find(Code);
    return it == table.end() ? Code : it->second;
}

void TResultInterface::TestSonucuKaydet(const std::string& Kod, const std::string& Deger) {
    try {
        const std::string barkod = Sonuc.Barkod;
        HostEkraninaMesajYaz(Kod + " - " + Deger + " - " + barkod);
        std::string value = Deger;
        std::replace(value.begin(), value.end(), '.', ',');
        // Five arguments, each exactly its field up to a NUL it may hold, in the platform's
        // own encoding: no content of the serial line can add, split or merge arguments.
        const std::vector<std::string> arguments = {
            argument(WebBaseAddress), "LabSonuc", platform::codePage1254ToUtf8(argument(barkod)),
            platform::codePage1254ToUtf8(argument(TestNumberOf(Kod))),
            platform::codePage1254ToUtf8(argument(value))};
        if (platform::startDetached(UploaderPath, arguments)) {
            HostEkraninaMesajYaz("Update Success...");
        } else {
            HostEkraninaMesajYaz(launchFailure(platform::lastError()));
        }
    } catch (...) {
    }
}
