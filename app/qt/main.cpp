// The program's entry on Qt: the application titled "DORVIK SELTO", the main window and then
// the data module with the skin, and the message loop until the window is closed.
#include "app/Translation.h"
#include "app/qt/AnaForm.h"
#include "app/qt/Application.h"
#include "app/qt/DMUnit.h"
#include "app/qt/QtMainThread.h"
#include "platform/EndRequest.h"
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

    // Asked to end (a log-out, a kill): as closing the window ends it, once the block in
    // hand has been forwarded; the port closes as the window goes.
    platform::watchEndRequests([] { QCoreApplication::exit(0); });

    TAnaForm AnaForm;
    TDM DM;
    AnaForm.show();
    if (AnaForm.Refused()) {
        return 0;
    }
    QApplication::exec();
    return 0;
}
