#include "platform/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace platform {

namespace {

// What a waiting worker learns about its call.
struct Ticket {
    bool taken = false;
    bool done = false;
    std::exception_ptr error;
};

struct Item {
    std::function<void()> call;
    std::shared_ptr<Ticket> ticket;  // null for a plain post
    bool waitsForRun = false;
};

}  // namespace

struct MainThreadQueue::Impl {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> items;
    std::thread::id mainThread = std::this_thread::get_id();
    std::function<void()> wakeHook;
    SignalHandle signal = createSignal(false);

    void enqueue(Item item) {
        std::function<void()> hook;
        {
            std::lock_guard lock(mutex);
            items.push_back(std::move(item));
            setSignal(signal);
            hook = wakeHook;
        }
        if (hook) {
            hook();
        }
    }
};

MainThreadQueue::MainThreadQueue() : m_impl(new Impl) {}

MainThreadQueue::~MainThreadQueue() {
    releaseSignal(m_impl->signal);
    delete m_impl;
}

void MainThreadQueue::bindToCurrentThread() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->mainThread = std::this_thread::get_id();
}

bool MainThreadQueue::isMainThread() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->mainThread == std::this_thread::get_id();
}

void MainThreadQueue::runAndWait(const std::function<void()>& call) {
    if (isMainThread()) {
        call();
        return;
    }
    auto ticket = std::make_shared<Ticket>();
    m_impl->enqueue(Item{call, ticket, true});
    std::unique_lock lock(m_impl->mutex);
    m_impl->changed.wait(lock, [&] { return ticket->done; });
    if (ticket->error) {
        std::rethrow_exception(ticket->error);
    }
}

void MainThreadQueue::postAndWaitTaken(std::function<void()> call) {
    if (isMainThread()) {
        post(std::move(call));
        return;
    }
    auto ticket = std::make_shared<Ticket>();
    m_impl->enqueue(Item{std::move(call), ticket, false});
    std::unique_lock lock(m_impl->mutex);
    m_impl->changed.wait(lock, [&] { return ticket->taken; });
}

void MainThreadQueue::post(std::function<void()> call) {
    m_impl->enqueue(Item{std::move(call), nullptr, false});
}

void MainThreadQueue::drain() {
    for (;;) {
        Item item;
        bool released = false;
        {
            std::lock_guard lock(m_impl->mutex);
            if (m_impl->items.empty()) {
                resetSignal(m_impl->signal);
                return;
            }
            item = std::move(m_impl->items.front());
            m_impl->items.pop_front();
            if (item.ticket && !item.waitsForRun) {
                item.ticket->taken = true;
                released = true;
            }
        }
        // Woken after the lock is given up, the worker does not sleep again on it.
        if (released) {
            m_impl->changed.notify_all();
        }
        if (!item.waitsForRun) {
            item.call();
            continue;
        }
        std::exception_ptr error;
        try {
            item.call();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(m_impl->mutex);
            item.ticket->error = error;
            item.ticket->taken = true;
            item.ticket->done = true;
        }
        m_impl->changed.notify_all();
    }
}

SignalHandle MainThreadQueue::workSignal() const {
    return m_impl->signal;
}

void MainThreadQueue::setWakeHook(std::function<void()> hook) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->wakeHook = std::move(hook);
}

MainThreadQueue& mainThreadQueue() {
    static MainThreadQueue queue;
    return queue;
}

bool serveMainThreadUntil(const std::function<bool()>& done, int timeoutMs) {
    MainThreadQueue& queue = mainThreadQueue();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        queue.drain();
        if (done()) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // Wakes for queued work, and at least every 10 ms to look at `done` again.
        waitForSignal(queue.workSignal(),
                      static_cast<std::uint32_t>(std::min<long long>(left.count(), 10)));
    }
}

}  // namespace platform
