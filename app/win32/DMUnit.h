// TDM on Win32, the data module: it carries the skin controller. From its creation on every
// window and control of the program is painted in the dark skin "Black": the face's
// controls ask the active skin for their colours when they paint.
#pragma once

#include <windows.h>

#include <string>

// The colours of a skin; the system's own colours while none is active.
struct TSkinColours {
    COLORREF Window;     // pages, panes, the tab strip
    COLORREF Face;       // buttons, inactive tabs, the splitter bar, a disabled text control
    COLORREF Text;       // text on window and face
    COLORREF Base;       // an enabled text control
    COLORREF BaseText;   // its text
    COLORREF Frame;      // borders
    COLORREF Accent;     // the bar over the active tab
    COLORREF ActiveTab;  // the active tab
};

class TSkinController {
public:
    const std::string& SkinName() const { return m_skinName; }
    // "Black" makes the skin active and repaints every window of the program.
    void SetSkinName(const std::string& name);

    // The colours every control paints with now.
    static const TSkinColours& Colours();
    // A brush of one of those colours, kept for the program's life.
    static HBRUSH Brush(COLORREF colour);

private:
    std::string m_skinName;
};

class TDM {
public:
    TDM();
    TSkinController& SkinController() { return m_skin; }

private:
    TSkinController m_skin;
};
