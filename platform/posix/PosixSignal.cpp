#include "platform/posix/PosixSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/LastError.h"
#include "platform/Signal.h"

namespace platform::posix {

PosixSignal::PosixSignal(bool initiallySet) : m_set(initiallySet) {}

PosixSignal::~PosixSignal() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void PosixSignal::set() {
    std::lock_guard lock(m_mutex);
    if (!m_set.load(std::memory_order_relaxed)) {
        m_set.store(true, std::memory_order_release);
        if (m_pollers > 0) {
            wakeLocked();
        }
    }
}

void PosixSignal::reset() {
    std::lock_guard lock(m_mutex);
    m_set.store(false, std::memory_order_release);
    if (m_written) {
        m_written = false;
        std::uint64_t value = 0;
        while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
        }
    }
}

int PosixSignal::beginPoll() {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        m_fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (m_fd < 0) {
            return -1;
        }
    }
    ++m_pollers;
    // Set since the waiter last looked: the poll must not sleep.
    if (m_set.load(std::memory_order_relaxed)) {
        wakeLocked();
    }
    return m_fd;
}

void PosixSignal::endPoll() {
    std::lock_guard lock(m_mutex);
    --m_pollers;
}

void PosixSignal::wakeLocked() {
    if (!m_written) {
        m_written = true;
        const std::uint64_t one = 1;
        while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void PosixSignal::attachSource(std::weak_ptr<WakeSource> source) {
    std::lock_guard lock(m_mutex);
    m_source = std::move(source);
}

void PosixSignal::detachSource() {
    std::lock_guard lock(m_mutex);
    m_source.reset();
}

std::shared_ptr<WakeSource> PosixSignal::source() {
    std::lock_guard lock(m_mutex);
    return m_source.lock();
}

std::shared_ptr<PosixSignal> findSignal(std::uintptr_t handle) {
    return handles().find<PosixSignal>(handle);
}

}  // namespace platform::posix

namespace platform {

using posix::Clock;
using posix::findSignal;
using posix::handles;
using posix::PosixSignal;

SignalHandle createSignal(bool initiallySet) {
    return handles().insert(std::make_shared<PosixSignal>(initiallySet));
}

bool setSignal(SignalHandle signal) {
    auto object = findSignal(signal);
    if (!object) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    object->set();
    return true;
}

bool resetSignal(SignalHandle signal) {
    auto object = findSignal(signal);
    if (!object) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    object->reset();
    return true;
}

bool releaseSignal(SignalHandle signal) {
    if (!findSignal(signal) || !handles().remove(signal)) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    return true;
}

std::uint32_t waitForAny(std::span<const SignalHandle> handles, std::uint32_t timeoutMs) {
    std::vector<std::shared_ptr<PosixSignal>> objects;
    objects.reserve(handles.size());
    for (SignalHandle handle : handles) {
        auto object = findSignal(handle);
        if (!object) {
            setLastError(kErrorInvalidHandle);
            return kWaitFailed;
        }
        objects.push_back(std::move(object));
    }
    const bool forever = timeoutMs == kInfinite;
    const Clock::time_point limit =
        forever ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);

    struct Slice {
        std::shared_ptr<posix::WakeSource> source;
        std::size_t first;
        std::size_t count;
    };
    std::vector<pollfd> fds;
    std::vector<Slice> slices;
    // Every signal polled in this round is given back, however the round ends.
    std::size_t polling = 0;
    auto endPolls = [&] {
        for (std::size_t i = 0; i < polling; ++i) {
            objects[i]->endPoll();
        }
        polling = 0;
    };
    for (;;) {
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->isSet()) {
                return kWaitObject0 + static_cast<std::uint32_t>(i);
            }
        }
        const Clock::time_point now = Clock::now();
        if (now >= limit) {
            return kWaitTimeout;
        }
        fds.clear();
        slices.clear();
        for (const auto& object : objects) {
            const int fd = object->beginPoll();
            if (fd < 0) {
                const int error = errno;
                endPolls();
                setLastError(error);
                return kWaitFailed;
            }
            ++polling;
            fds.push_back(pollfd{fd, POLLIN, 0});
        }
        Clock::time_point deadline = limit;
        for (const auto& object : objects) {
            if (auto source = object->source()) {
                const std::size_t first = fds.size();
                source->prepareWait(fds, deadline);
                slices.push_back(Slice{std::move(source), first, fds.size() - first});
            }
        }
        int pollMs = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            pollMs = static_cast<int>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
        }
        const int ready = ::poll(fds.data(), fds.size(), pollMs);
        const int pollError = errno;
        // Sets made from here on, by this thread's own servicing among others, need no
        // wake-up: the flags are looked at again before any further poll.
        endPolls();
        if (ready < 0 && pollError != EINTR) {
            setLastError(pollError);
            return kWaitFailed;
        }
        for (const Slice& slice : slices) {
            slice.source->serviceWait(
                std::span<const pollfd>(fds).subspan(slice.first, slice.count));
        }
    }
}

}  // namespace platform
