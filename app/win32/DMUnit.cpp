#include "app/win32/DMUnit.h"

#include <map>

namespace {

TSkinColours systemColours() {
    return {::GetSysColor(COLOR_BTNFACE),    ::GetSysColor(COLOR_BTNFACE),
            ::GetSysColor(COLOR_BTNTEXT),    ::GetSysColor(COLOR_WINDOW),
            ::GetSysColor(COLOR_WINDOWTEXT), RGB(0x91, 0x9B, 0x9C),
            RGB(0xF0, 0x9B, 0x14),           ::GetSysColor(COLOR_BTNFACE)};
}

const TSkinColours kBlack = {RGB(0x2B, 0x2B, 0x2B), RGB(0x3A, 0x3A, 0x3A), RGB(0xE6, 0xE6, 0xE6),
                             RGB(0x1E, 0x1E, 0x1E), RGB(0xE6, 0xE6, 0xE6), RGB(0x91, 0x9B, 0x9C),
                             RGB(0xF0, 0x9B, 0x14), RGB(0x2B, 0x2B, 0x2B)};

bool& blackActive() {
    static bool active = false;
    return active;
}

BOOL CALLBACK repaint(HWND window, LPARAM) {
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    // Controls that keep their own colours take the skin's now.
    ::SendMessageW(window, WM_THEMECHANGED, 0, 0);
    return TRUE;
}

}  // namespace

void TSkinController::SetSkinName(const std::string& name) {
    m_skinName = name;
    blackActive() = name == "Black";
    ::EnumThreadWindows(::GetCurrentThreadId(), repaint, 0);
}

const TSkinColours& TSkinController::Colours() {
    static const TSkinColours system = systemColours();
    return blackActive() ? kBlack : system;
}

HBRUSH TSkinController::Brush(COLORREF colour) {
    static std::map<COLORREF, HBRUSH> brushes;
    HBRUSH& brush = brushes[colour];
    if (!brush) {
        brush = ::CreateSolidBrush(colour);
    }
    return brush;
}

TDM::TDM() {
    m_skin.SetSkinName("Black");
}
