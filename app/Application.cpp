#include "app/Application.h"

#include <QFont>
#include <QMessageBox>

#include "serial/Component.h"
#include "serial/Exception.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationExceptionHandler(&TApplication::HandleException);
    // The layout's Windows fonts, by metric-compatible ones where Linux has them.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                              QStringLiteral("Liberation Serif"));
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

QString TApplication::ExceptionMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return {};
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void TApplication::HandleException(std::exception_ptr error) {
    const QString message = ExceptionMessage(error);
    if (message.isEmpty()) {
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          message);
}
