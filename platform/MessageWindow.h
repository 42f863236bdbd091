// The hidden window of window-synchronised dispatch: a message target on the thread that
// creates it (the main thread), to which other threads send messages. A sender goes on as
// soon as the window's thread has taken its message up; the handler then runs there. On
// Windows it is a real window (SendMessageA, InSendMessage, ReplyMessage); elsewhere the
// main-thread queue carries the messages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/Signal.h"

namespace platform {

class MessageWindow {
public:
    using Handler = std::function<void(std::uint32_t Message, std::uintptr_t WParam)>;
    // Handles `message`; every other message gets the platform's default handling.
    MessageWindow(std::uint32_t message, Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // From another thread: returns once the window's thread has taken the message up.
    void Send(std::uint32_t message, std::uintptr_t wParam) const;

    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

// Waits as waitForAny does; meanwhile the calling thread keeps taking up the messages other
// threads send to its windows, so that a sender it waits for cannot block on it.
std::uint32_t waitForAnyServingMessages(std::span<const SignalHandle> handles,
                                        std::uint32_t timeoutMs);

}  // namespace platform
