// Message catalogues in GNU gettext's .mo format: a language, text domains bound to
// folders, and lookups that fall back from "ll_CC" to "ll" and then to the text itself.
#pragma once

#include <string>
#include <string_view>

namespace platform::i18n {

// "tr_TR", "tr" or "" (no translation).
void setLanguage(const std::string& language);
std::string language();

// Catalogues of `domain` are <directory>/<language>/LC_MESSAGES/<domain>.mo.
void bindDomain(const std::string& domain, const std::string& directory);
// A domain whose catalogues live where the "default" domain's do.
void registerDomain(const std::string& domain);

std::string translate(const std::string& domain, std::string_view text);

// The user's locale setting as "ll_CC" (language and country joined by '_'), or "".
std::string userLocale();
// The folder the running program file is in.
std::string programDirectory();

}  // namespace platform::i18n
