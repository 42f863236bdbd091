// The program's entry: the application titled "DORVIK SELTO", the main window and then the
// data module with the skin, and the message loop until the window is closed.
#include "app/AnaUnit.h"
#include "app/Application.h"
#include "app/DMUnit.h"
#include "app/QtMainThread.h"
#include "app/Translation.h"
#include "serial/ComError.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    InitTranslation(QCoreApplication::applicationDirPath());
    InitializeCPortModule();
    // The layout's Windows fonts, by metric-compatible ones where Linux has them.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                              QStringLiteral("Liberation Serif"));
    QtMainThreadBridge bridge;

    TAnaForm AnaForm;
    TDM DM;
    AnaForm.show();
    if (AnaForm.Refused()) {
        return 0;
    }
    QApplication::exec();
    return 0;
}
