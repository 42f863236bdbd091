// The program's entry on Windows: the application titled "DORVIK SELTO", the main window and
// then the data module with the skin, and the message loop until the window is closed.
#include <windows.h>

#include "app/Translation.h"
#include "app/win32/AnaForm.h"
#include "app/win32/Application.h"
#include "app/win32/DMUnit.h"
#include "platform/EndRequest.h"
#include "platform/Translation.h"
#include "serial/ComError.h"

int main() {
    TApplication Application;
    Application.SetTitle(kApplicationTitle);
    InitTranslation(platform::i18n::programDirectory());
    InitializeCPortModule();

    // Asked to end from a console: as closing the window ends it, once the block in hand
    // has been forwarded. A session's end reaches the window itself.
    platform::watchEndRequests([] { ::PostQuitMessage(0); });

    TAnaForm AnaForm;
    TDM DM;
    if (!AnaForm.Show()) {
        return 0;
    }
    Application.Run();
    return 0;
}
