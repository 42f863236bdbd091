// The program's entry on Qt: the application titled "DORVIK SELTO", the main window and then
// the data module with the skin, and the message loop until the window is closed.
#include "app/Translation.h"
#include "app/qt/AnaForm.h"
#include "app/qt/Application.h"
#include "app/qt/DMUnit.h"
#include "app/qt/QtMainThread.h"
#include "platform/Translation.h"
#include "serial/ComError.h"

int main(int /*argc*/, char** argv) {
    // The program takes no command-line option: Qt is given none of them to act on.
    int qtArgc = 1;
    TApplication application(qtArgc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    InitTranslation(platform::i18n::programDirectory());
    InstallFrameworkTranslator();
    InitializeCPortModule();
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
