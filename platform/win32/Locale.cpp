// The user's locale on Windows: the user's default locale ("tr-TR" becomes "tr_TR").
#include <windows.h>

#include <string>

#include "platform/Translation.h"

namespace platform::i18n {

std::string userLocale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    const int n = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    std::string out;
    for (int i = 0; i + 1 < n; ++i) {
        out += name[i] == L'-' ? '_' : static_cast<char>(name[i]);
    }
    return out;
}

std::string programDirectory() {
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path, n);
    const std::size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

}  // namespace platform::i18n
