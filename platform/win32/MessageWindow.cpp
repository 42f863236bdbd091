// A hidden top-level window of the creating thread. A message sent to it from another
// thread is answered at once with ReplyMessage(0), which lets the sender go on, and then
// handled; a message sent from the window's own thread is simply handled.
#include <windows.h>

#include <system_error>

#include "platform/LastError.h"
#include "platform/MessageWindow.h"

namespace platform {

struct MessageWindow::Impl {
    std::uint32_t message;
    Handler handler;
    HWND window = nullptr;
};

namespace {

const char* const kClassName = "TCPortSyncWindow";

LRESULT CALLBACK syncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* impl = reinterpret_cast<MessageWindow::Impl*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (impl && message == impl->message) {
        if (::InSendMessage()) {
            ::ReplyMessage(0);
        }
        impl->handler(message, static_cast<std::uintptr_t>(wParam));
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void registerClassOnce() {
    static const bool registered = [] {
        WNDCLASSA cls{};
        cls.lpfnWndProc = syncWindowProc;
        cls.hInstance = ::GetModuleHandleA(nullptr);
        cls.lpszClassName = kClassName;
        return ::RegisterClassA(&cls) != 0;
    }();
    (void)registered;
}

}  // namespace

MessageWindow::MessageWindow(std::uint32_t message, Handler handler)
    : m_impl(std::make_shared<Impl>(Impl{message, std::move(handler)})) {
    registerClassOnce();
    m_impl->window = ::CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                       ::GetModuleHandleA(nullptr), nullptr);
    if (!m_impl->window) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "hidden window");
    }
    ::SetWindowLongPtrA(m_impl->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(m_impl.get()));
}

MessageWindow::~MessageWindow() {
    ::SetWindowLongPtrA(m_impl->window, GWLP_USERDATA, 0);
    ::DestroyWindow(m_impl->window);
}

void MessageWindow::Send(std::uint32_t message, std::uintptr_t wParam) const {
    ::SendMessageA(m_impl->window, message, static_cast<WPARAM>(wParam), 0);
}

std::uint32_t waitForAnyServingMessages(std::span<const SignalHandle> handles,
                                        std::uint32_t timeoutMs) {
    if (handles.empty() || handles.size() >= MAXIMUM_WAIT_OBJECTS) {
        setLastError(ERROR_INVALID_PARAMETER);
        return kWaitFailed;
    }
    HANDLE objects[MAXIMUM_WAIT_OBJECTS];
    for (std::size_t i = 0; i < handles.size(); ++i) {
        objects[i] = reinterpret_cast<HANDLE>(handles[i]);
    }
    const DWORD count = static_cast<DWORD>(handles.size());
    const ULONGLONG until = ::GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG now = ::GetTickCount64();
            left = now >= until ? 0 : static_cast<DWORD>(until - now);
        }
        // Looking at the queue delivers the messages sent to this thread's windows. A
        // message already pending before the wait is served too: one the thread has
        // already seen (GetQueueStatus, an earlier wait) would never wake a plain wait.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD r = ::MsgWaitForMultipleObjectsEx(count, objects, left, QS_SENDMESSAGE,
                                                      MWMO_INPUTAVAILABLE);
        if (r != WAIT_OBJECT_0 + count) {
            return r;
        }
    }
}

}  // namespace platform
