// The translation facility: picks the language (LANG, else the user's locale), binds the
// "default" text domain to the "locale" folder beside the program, and lets the window
// framework's own texts (button captions and the like) pass through the catalogues.
#pragma once

#include <QString>

// Returns the language chosen ("tr_TR", or empty for none).
QString InitTranslation(const QString& programDirectory);

// "ll_CC" from LANG (the part before any '.'), or from the given locale name when LANG is
// empty.
QString LanguageFrom(const QString& lang, const QString& localeName);
