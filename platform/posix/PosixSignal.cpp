#include "platform/posix/PosixSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/LastError.h"
#include "platform/Signal.h"

namespace platform::posix {

PosixSignal::PosixSignal(int eventFd, bool initiallySet) : m_fd(eventFd) {
    if (initiallySet) {
        set();
    }
}

PosixSignal::~PosixSignal() {
    ::close(m_fd);
}

void PosixSignal::set() {
    std::lock_guard lock(m_mutex);
    if (!m_set.load(std::memory_order_relaxed)) {
        m_set.store(true, std::memory_order_release);
        const std::uint64_t one = 1;
        while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void PosixSignal::reset() {
    std::lock_guard lock(m_mutex);
    if (m_set.load(std::memory_order_relaxed)) {
        m_set.store(false, std::memory_order_release);
        std::uint64_t value = 0;
        while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
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
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        setLastError(errno);
        return kNoSignal;
    }
    return handles().insert(std::make_shared<PosixSignal>(fd, initiallySet));
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
    for (;;) {
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->isSet()) {
                return kWaitObject0 + static_cast<std::uint32_t>(i);
            }
        }
        fds.clear();
        slices.clear();
        for (const auto& object : objects) {
            fds.push_back(pollfd{object->fd(), POLLIN, 0});
        }
        Clock::time_point deadline = limit;
        for (const auto& object : objects) {
            if (auto source = object->source()) {
                const std::size_t first = fds.size();
                source->prepareWait(fds, deadline);
                slices.push_back(Slice{std::move(source), first, fds.size() - first});
            }
        }
        const Clock::time_point now = Clock::now();
        if (now >= limit) {
            return kWaitTimeout;
        }
        int pollMs = -1;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            pollMs = static_cast<int>(std::clamp<long long>(left, 0, 0x7FFFFFFF));
        }
        const int ready = ::poll(fds.data(), fds.size(), pollMs);
        if (ready < 0 && errno != EINTR) {
            setLastError(errno);
            return kWaitFailed;
        }
        for (const Slice& slice : slices) {
            slice.source->serviceWait(
                std::span<const pollfd>(fds).subspan(slice.first, slice.count));
        }
    }
}

}  // namespace platform
