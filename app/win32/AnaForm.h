// TAnaForm on Win32: the program's window on the Win32 API itself, laid out as stored:
// the page control with its three pages, the port's name and two lamps over the stretched
// background picture, the splitter with the host screen and the clear button above the info
// screen. Its behaviour is TCustomAnaForm's; this face holds the controls, paints them in
// the active skin and passes their keys and clicks on.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/AnaUnit.h"
#include "serial/win32/CPortCtl.h"

class TAnaForm : public TCustomAnaForm {
public:
    TAnaForm();
    ~TAnaForm() override;

    HWND Handle() const { return m_window; }
    // Shows the window; the first time the start-up work runs before anything is drawn and
    // the window is centred on the screen. False: refused, the window stays hidden.
    bool Show();
    void SelectPage(int index);
    int ActivePage() const;

    // The controls, for the face's tools and tests.
    HWND RzPageControl1() const { return m_tabs; }
    HWND TabSheet(int index) const { return m_pages[index]; }
    HWND rzspltr1() const { return m_splitter; }
    HWND UpperPane() const { return m_upper; }
    HWND HostEkrani() const { return m_host; }
    HWND BilgiEkrani() const { return m_info; }
    HWND RzBitBtn1() const { return m_button; }
    TComLed& ComLed2() { return *m_led2; }
    TComLed& ComLed3() { return *m_led3; }
    std::string Lbl1Caption() const;
    int SplitterPosition() const { return m_upperHeight; }
    bool ButtonHot() const { return m_buttonHot; }

    void HostAppendLine(const std::string& Text) override;
    int HostShownLineCount() override;
    void HostClear() override;
    void InfoAppendLine(const std::string& Text) override;
    int InfoLineCount() override;
    void InfoRemoveFirstLines(int Count) override;
    void InfoClear() override;
    bool InfoEnabled() override;
    void SetInfoEnabled(bool Enabled) override;
    void ShowFirstPage() override;
    void SetPortLabel(const std::string& Text) override;
    std::string ApplicationTitle() override;
    void ShowRefusal(const std::string& Text, const std::string& Caption) override;
    void StartReopenTimer(int IntervalMs) override;
    void StopReopenTimer() override;

private:
    struct Resources;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleSubclassed(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND createChild(const wchar_t* cls, DWORD style, HWND parent, int x, int y, int w, int h);
    void subclass(HWND control);
    void createControls();
    void applyScreenColours();
    void layout();
    void layoutSplitter();
    void paintTabs(HWND window, HDC dc);
    void paintPage(HWND window, HDC dc);
    // The background stretched to the page's size, made again only when that size changes.
    HBITMAP shownBackground(HDC like, int width, int height);
    void drawButton(const DRAWITEMSTRUCT& item);
    bool previewKey(MSG& msg);

    HWND m_window = nullptr;
    HWND m_tabs = nullptr;
    HWND m_pages[3] = {};
    HWND m_splitter = nullptr;
    HWND m_upper = nullptr;
    HWND m_lower = nullptr;
    HWND m_host = nullptr;
    HWND m_info = nullptr;
    HWND m_button = nullptr;
    std::unique_ptr<TComLed> m_led2;
    std::unique_ptr<TComLed> m_led3;
    std::unique_ptr<Resources> m_res;
    std::wstring m_lbl1 = L"HATA";
    int m_upperHeight = 255;
    int m_dragOffset = -1;  // while the splitter bar is dragged
    bool m_buttonHot = false;
    bool m_shown = false;
};
