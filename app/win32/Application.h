// The application object on Win32: the common controls and the rich-edit library, the
// title, the message loop (with the main window's key preview), the drain of the
// main-thread hand-over from that loop, and the central exception handling's message box.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

class TApplication {
public:
    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    const std::string& Title() const { return m_title; }
    void SetTitle(const std::string& title);

    // Runs the message loop until the main window is closed.
    void Run();

    static void HandleException(std::exception_ptr error);
    static HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }
    // The application object of this program, while it exists.
    static TApplication* Current();

private:
    static LRESULT CALLBACK bridgeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::string m_title;
    HWND m_bridge = nullptr;  // the hidden window that drains the hand-over queue
};
