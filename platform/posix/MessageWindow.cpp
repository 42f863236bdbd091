// Without a window system the main-thread queue carries the messages: a send is a call
// posted there, released as soon as the main thread takes it up.
#include "platform/MessageWindow.h"

#include "platform/MainThread.h"

namespace platform {

struct MessageWindow::Impl {
    std::uint32_t message;
    Handler handler;
    bool alive = true;  // read and cleared on the main thread only
};

MessageWindow::MessageWindow(std::uint32_t message, Handler handler)
    : m_impl(std::make_shared<Impl>(Impl{message, std::move(handler)})) {}

MessageWindow::~MessageWindow() {
    m_impl->alive = false;
}

void MessageWindow::Send(std::uint32_t message, std::uintptr_t wParam) const {
    std::shared_ptr<Impl> impl = m_impl;
    mainThreadQueue().postAndWaitTaken([impl, message, wParam] {
        if (impl->alive && message == impl->message) {
            impl->handler(message, wParam);
        }
    });
}

std::uint32_t waitForAnyServingMessages(std::span<const SignalHandle> handles,
                                        std::uint32_t timeoutMs) {
    return waitForAny(handles, timeoutMs);
}

}  // namespace platform
