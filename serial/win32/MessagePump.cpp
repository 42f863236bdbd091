#include "serial/win32/MessagePump.h"

namespace win32 {

namespace {

MessageFilter& filter() {
    static MessageFilter f;
    return f;
}

}  // namespace

void SetMessageFilter(MessageFilter f) {
    filter() = std::move(f);
}

void DispatchOne(MSG& msg) {
    if (filter() && filter()(msg)) {
        return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

bool ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        DispatchOne(msg);
    }
    return true;
}

}  // namespace win32
