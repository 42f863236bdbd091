// A manual-reset signal that a wait can block on in poll(), beside the descriptors of the
// operations that will set it. A pending device operation attaches itself as the signal's
// wake source; whoever waits on the signal then drives it.
// The state is a flag; the eventfd that wakes a poll is made when a wait first needs it and
// is written only while a wait is in poll(), so a signal set and reset with nobody asleep on
// it (most completions) costs no system call.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/posix/HandleTable.h"

namespace platform::posix {

using Clock = std::chrono::steady_clock;

class WakeSource {
public:
    virtual ~WakeSource() = default;
    // Adds the descriptors whose readiness may complete the pending operation and lowers
    // deadline to the operation's own time limit, if any.
    virtual void prepareWait(std::vector<pollfd>& fds, Clock::time_point& deadline) = 0;
    // Runs after poll() with this source's entries; may complete operations and set signals.
    virtual void serviceWait(std::span<const pollfd> fds) = 0;
};

class PosixSignal final : public KernelObject {
public:
    explicit PosixSignal(bool initiallySet);
    ~PosixSignal() override;

    void set();
    void reset();
    bool isSet() const { return m_set.load(std::memory_order_acquire); }

    // A wait about to poll: the descriptor to poll, readable whenever the signal is set
    // until endPoll(); -1 with errno when none can be made.
    int beginPoll();
    void endPoll();

    void attachSource(std::weak_ptr<WakeSource> source);
    void detachSource();
    std::shared_ptr<WakeSource> source();

private:
    void wakeLocked();

    int m_fd = -1;
    std::atomic<bool> m_set{false};
    int m_pollers = 0;
    bool m_written = false;  // the eventfd holds a count: readable until reset
    std::mutex m_mutex;
    std::weak_ptr<WakeSource> m_source;
};

std::shared_ptr<PosixSignal> findSignal(std::uintptr_t handle);

}  // namespace platform::posix
