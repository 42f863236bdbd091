// The user's locale on POSIX: the locale categories' environment, as setlocale() reads it.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Translation.h"

namespace platform::i18n {

std::string userLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return value;
        }
    }
    return {};
}

std::string programDirectory() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return ".";
    }
    const std::string file(path, static_cast<std::size_t>(n));
    return file.substr(0, file.rfind('/'));
}

}  // namespace platform::i18n
