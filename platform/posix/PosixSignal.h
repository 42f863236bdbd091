// A manual-reset signal on an eventfd, so that a wait can block in poll() on signals and on
// the descriptors of the operations that will set them. A pending device operation attaches
// itself as the signal's wake source; whoever waits on the signal then drives it.
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
    explicit PosixSignal(int eventFd, bool initiallySet);
    ~PosixSignal() override;

    void set();
    void reset();
    bool isSet() const { return m_set.load(std::memory_order_acquire); }
    int fd() const { return m_fd; }

    void attachSource(std::weak_ptr<WakeSource> source);
    void detachSource();
    std::shared_ptr<WakeSource> source();

private:
    int m_fd;
    std::atomic<bool> m_set{false};
    std::mutex m_mutex;
    std::weak_ptr<WakeSource> m_source;
};

std::shared_ptr<PosixSignal> findSignal(std::uintptr_t handle);

}  // namespace platform::posix
