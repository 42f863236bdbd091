#include "app/win32/Application.h"

#include <commctrl.h>

#include <atomic>

#include "app/ExceptionHandling.h"
#include "app/win32/WideText.h"
#include "platform/MainThread.h"
#include "serial/Component.h"
#include "serial/win32/MessagePump.h"

namespace {

constexpr UINT kDrainMessage = WM_APP + 1;
std::atomic<bool> g_wakePending{false};
TApplication* g_current = nullptr;

}  // namespace

TApplication* TApplication::Current() {
    return g_current;
}

TApplication::TApplication() {
    g_current = this;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::LoadLibraryW(L"riched20.dll");
    SetApplicationExceptionHandler(&TApplication::HandleException);

    WNDCLASSW cls{};
    cls.lpfnWndProc = bridgeProc;
    cls.hInstance = Instance();
    cls.lpszClassName = L"TMainThreadBridge";
    ::RegisterClassW(&cls);
    m_bridge = ::CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 Instance(), nullptr);
    platform::MainThreadQueue& queue = platform::mainThreadQueue();
    queue.bindToCurrentThread();
    // One wake-up message at a time: the drain takes everything queued until then. A
    // posted message reaches the window in modal loops (message boxes) too.
    HWND bridge = m_bridge;
    queue.setWakeHook([bridge] {
        if (!g_wakePending.exchange(true)) {
            ::PostMessageW(bridge, kDrainMessage, 0, 0);
        }
    });
    g_wakePending.store(true);
    ::PostMessageW(m_bridge, kDrainMessage, 0, 0);
}

TApplication::~TApplication() {
    platform::mainThreadQueue().setWakeHook(nullptr);
    ::DestroyWindow(m_bridge);
    SetApplicationExceptionHandler(nullptr);
    g_current = nullptr;
}

LRESULT CALLBACK TApplication::bridgeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kDrainMessage) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    g_wakePending.store(false);
    try {
        platform::mainThreadQueue().drain();
    } catch (...) {
        ApplicationHandleException(std::current_exception());
    }
    return 0;
}

void TApplication::SetTitle(const std::string& title) {
    m_title = title;
    ::SetWindowTextW(m_bridge, win32::FromUtf8(title).c_str());
}

void TApplication::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        win32::DispatchOne(msg);
    }
}

void TApplication::HandleException(std::exception_ptr error) {
    const std::string message = ExceptionMessage(error);
    if (message.empty()) {
        return;
    }
    const std::wstring caption = g_current ? win32::FromUtf8(g_current->Title()) : L"";
    ::MessageBoxW(::GetActiveWindow(), win32::FromUtf8(message).c_str(), caption.c_str(),
                  MB_OK | MB_ICONERROR);
}
