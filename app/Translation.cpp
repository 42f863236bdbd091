#include "app/Translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include "platform/Translation.h"

namespace {

// Framework texts go through the "default" catalogue; an untranslated text gives an empty
// answer, so Qt keeps its own.
class GettextTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* /*context*/, const char* sourceText,
                      const char* /*disambiguation*/, int /*n*/) const override {
        if (!sourceText || !*sourceText) {
            return {};
        }
        const std::string translated = platform::i18n::translate("default", sourceText);
        return translated == sourceText ? QString() : QString::fromStdString(translated);
    }
};

}  // namespace

QString LanguageFrom(const QString& lang, const QString& localeName) {
    const QString chosen = lang.isEmpty() ? localeName : lang;
    return chosen.section(QLatin1Char('.'), 0, 0);
}

QString InitTranslation(const QString& programDirectory) {
    const QString language = LanguageFrom(qEnvironmentVariable("LANG"), QLocale::system().name());
    platform::i18n::setLanguage(language == QLatin1String("C") ? std::string()
                                                               : language.toStdString());
    platform::i18n::bindDomain("default",
                               (programDirectory + QStringLiteral("/locale")).toStdString());
    if (QCoreApplication::instance()) {
        QCoreApplication::installTranslator(new GettextTranslator(QCoreApplication::instance()));
    }
    return language;
}
