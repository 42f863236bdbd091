#include "app/qt/Application.h"

#include <QFont>
#include <QMessageBox>
#include <QTranslator>
#include <cstring>

#include "app/ExceptionHandling.h"
#include "platform/Translation.h"
#include "serial/Component.h"

namespace {

// The framework's texts through the catalogue. An untranslated text gives an empty answer,
// so Qt keeps its own; the program's own windows are not translated at all.
class GettextTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (!sourceText || !*sourceText || (context && std::strcmp(context, "TAnaForm") == 0)) {
            return {};
        }
        const std::string translated = platform::i18n::translate("default", sourceText);
        return translated == sourceText ? QString() : QString::fromStdString(translated);
    }
};

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationExceptionHandler(&TApplication::HandleException);
    // The layout's Windows fonts, by metric-compatible ones where Linux has them.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                              QStringLiteral("Liberation Serif"));
    // The layout's own font is the default, as on Windows: controls built before they get
    // their stored font do not load the desktop's default one for nothing.
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("MS Sans Serif"));
    QApplication::setFont(font);
}

TApplication::~TApplication() {
    SetApplicationExceptionHandler(nullptr);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

void TApplication::HandleException(std::exception_ptr error) {
    const std::string message = ExceptionMessage(error);
    if (message.empty()) {
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          QString::fromStdString(message));
}

void InstallFrameworkTranslator() {
    if (QCoreApplication::instance()) {
        QCoreApplication::installTranslator(new GettextTranslator(QCoreApplication::instance()));
    }
}
