// The translation facility with catalogues built by msgfmt into a temporary locale folder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

#include "app/Translation.h"
#include "app/qt/AnaForm.h"
#include "platform/Translation.h"
#include "serial/ComError.h"
#include "ui_AnaForm.h"

namespace {

void writeCatalogue(const QString& root, const QString& language, const QString& domain,
                    const QString& entries) {
    const QString folder =
        root + QStringLiteral("/locale/") + language + QStringLiteral("/LC_MESSAGES");
    QDir().mkpath(folder);
    const QString po = folder + QLatin1Char('/') + domain + QStringLiteral(".po");
    QFile file(po);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n");
    file.write(entries.toUtf8());
    file.close();
    ASSERT_EQ(QProcess::execute(QStringLiteral("msgfmt"),
                                {QStringLiteral("-o"),
                                 folder + QLatin1Char('/') + domain + QStringLiteral(".mo"), po}),
              0);
}

class Translation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        writeCatalogue(dir.path(), QStringLiteral("tr_TR"), QStringLiteral("default"),
                       QStringLiteral("msgid \"OK\"\nmsgstr \"Tamam\"\n"));
        // Only the two-letter folder has the component's catalogue.
        writeCatalogue(dir.path(), QStringLiteral("tr"), QStringLiteral("cport"),
                       QString::fromUtf8("msgid \"Unable to open com port\"\nmsgstr \"Seri port "
                                         "a\xC3\xA7\xC4\xB1lamad\xC4\xB1\"\n"));
        saved = qgetenv("LANG");
        platform::i18n::registerDomain("cport");
    }
    void TearDown() override {
        qputenv("LANG", saved);
        platform::i18n::setLanguage("");
    }

    QTemporaryDir dir;
    QByteArray saved;
};

TEST(TranslationLanguage, FromLangOrTheUsersLocale) {
    struct Case {
        const char* lang;
        const char* locale;
        const char* language;
    } cases[] = {{"tr_TR.UTF-8", "en_US", "tr_TR"},
                 {"de_DE", "en_US", "de_DE"},
                 {"", "tr_TR", "tr_TR"},
                 {"", "pt_BR", "pt_BR"},
                 {"fr_FR.ISO-8859-1@euro", "", "fr_FR"}};
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageFrom(c.lang, c.locale), c.language) << c.lang;
    }
}

TEST_F(Translation, LangPicksTheCatalogueAndFrameworkTextsPassThroughIt) {
    qputenv("LANG", "tr_TR.UTF-8");
    EXPECT_EQ(InitTranslation(dir.path().toStdString()), "tr_TR");
    EXPECT_EQ(platform::i18n::translate("default", "OK"), "Tamam");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("Tamam"));
    // The program's own texts are not in any catalogue and stay as they are.
    EXPECT_EQ(platform::i18n::translate("default", "mesaj geldi."), "mesaj geldi.");
}

// The catalogue has the window's captions too: the framework's texts are translated, the
// program's own window is not.
TEST_F(Translation, TheWindowsOwnCaptionsAreNotTranslated) {
    writeCatalogue(dir.path(), QStringLiteral("xx_XX"), QStringLiteral("default"),
                   QStringLiteral("msgid \"OK\"\nmsgstr \"Okay-xx\"\n\n"
                                  "msgid \"Ayarlar\"\nmsgstr \"Settings-xx\"\n\n"
                                  "msgid \"Dorvik Selto (Hemogram)\"\nmsgstr \"Title-xx\"\n"));
    qputenv("LANG", "xx_XX.UTF-8");
    InitTranslation(dir.path().toStdString());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("Okay-xx"));
    TAnaForm form;
    form.SetStartUpOnShow(false);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Dorvik Selto (Hemogram)"));
    EXPECT_EQ(form.Controls().RzPageControl1->tabText(2), QStringLiteral("Ayarlar"));
}

TEST_F(Translation, TwoLetterLanguageIsTheFallback) {
    qputenv("LANG", "tr_TR.UTF-8");
    InitTranslation(dir.path().toStdString());
    EXPECT_EQ(platform::i18n::translate("cport", "Unable to open com port"),
              "Seri port a\xC3\xA7\xC4\xB1lamad\xC4\xB1");
}

TEST_F(Translation, WithoutACatalogueTextsStayEnglish) {
    qputenv("LANG", "de_DE.UTF-8");
    InitTranslation(dir.path().toStdString());
    EXPECT_EQ(platform::i18n::translate("default", "OK"), "OK");
    EXPECT_EQ(platform::i18n::translate("cport", "Unable to open com port"),
              "Unable to open com port");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("OK"));
}

// The component translates its table once, when its module starts: checked in a fresh
// process, with the catalogue shipped beside the program.
TEST(TranslationShipped, TheComponentsTableInTurkish) {
    const QString program = QCoreApplication::applicationFilePath();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), QStringLiteral("tr_TR.UTF-8"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(program, {QStringLiteral("--print-cport-messages")});
    ASSERT_TRUE(child.waitForFinished(20000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_TRUE(out.contains(
        QString::fromUtf8("Seri port a\xC3\xA7\xC4\xB1lamad\xC4\xB1 (win hata kodu: 2)")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(
        QString::fromUtf8("Ba\xC4\x9Fl\xC4\xB1yken \xC3\xB6zellik de\xC4\x9Fi\xC5\x9Ftirilemez")))
        << out.toStdString();

    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    child.setProcessEnvironment(env);
    child.start(program, {QStringLiteral("--print-cport-messages")});
    ASSERT_TRUE(child.waitForFinished(20000));
    const QString english = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_TRUE(english.contains(QStringLiteral("Unable to open com port (win error code: 2)")));
}

}  // namespace
