// The hand-over to the main thread: calls queued by worker threads and run by the main
// thread, in the order queued, whenever it drains the queue. A worker either waits until its
// call has run (exceptions come back to it) or only until the main thread has taken it up.
// An event loop drains the queue when woken; a main thread waiting for a worker keeps
// draining it through workSignal().
#pragma once

#include <functional>
#include <thread>

#include "platform/Signal.h"

namespace platform {

class MainThreadQueue {
public:
    MainThreadQueue();
    ~MainThreadQueue();
    MainThreadQueue(const MainThreadQueue&) = delete;
    MainThreadQueue& operator=(const MainThreadQueue&) = delete;

    // The thread that drains the queue; the one that first asked for the queue until told.
    void bindToCurrentThread();
    bool isMainThread() const;

    // Runs `call` on the main thread and returns when it has run, raising what it raised.
    // From the main thread itself the call runs at once.
    void runAndWait(const std::function<void()>& call);
    // Queues `call` and returns as soon as the main thread has taken it up (at once from
    // the main thread, where it is only queued).
    void postAndWaitTaken(std::function<void()> call);
    // Queues `call` without waiting.
    void post(std::function<void()> call);

    // Runs every queued call, including those queued while it runs. Main thread only.
    void drain();
    // Set while calls are queued: a main thread blocked in a wait includes it.
    SignalHandle workSignal() const;
    // Called from the queuing thread after each call is queued (the event loop's wake-up).
    void setWakeHook(std::function<void()> hook);

private:
    struct Impl;
    Impl* m_impl;
};

MainThreadQueue& mainThreadQueue();

// Serves the queue until `done` holds or `timeoutMs` passes; true when `done` held. For
// programs and tests without an event loop of their own.
bool serveMainThreadUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace platform
