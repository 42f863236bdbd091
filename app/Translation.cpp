#include "app/Translation.h"

#include <cstdlib>

#include "platform/Translation.h"

std::string LanguageFrom(const std::string& lang, const std::string& localeName) {
    const std::string& chosen = lang.empty() ? localeName : lang;
    return chosen.substr(0, chosen.find('.'));
}

std::string InitTranslation(const std::string& programDirectory) {
    const char* lang = std::getenv("LANG");
    const std::string language =
        LanguageFrom(lang ? std::string(lang) : std::string(), platform::i18n::userLocale());
    platform::i18n::setLanguage(language == "C" || language == "POSIX" ? std::string() : language);
    platform::i18n::bindDomain("default", programDirectory + "/locale");
    return language;
}
