// The translation facility: picks the language (LANG, else the user's locale) and binds the
// "default" text domain to the "locale" folder beside the program.
#pragma once

#include <string>

// Returns the language chosen ("tr_TR", or empty for none).
std::string InitTranslation(const std::string& programDirectory);

// "ll_CC" from LANG (the part before any '.'), or from the given locale name when LANG is
// empty.
std::string LanguageFrom(const std::string& lang, const std::string& localeName);
