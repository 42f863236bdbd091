#include "platform/posix/PosixDevice.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/LastError.h"

namespace platform::posix {

namespace {

constexpr std::size_t kMaxQueue = 16u << 20;
constexpr std::uintptr_t kStatusPending = static_cast<std::uintptr_t>(-1);
// Bytes already taken are dropped from the front of the queue's block once there are at
// least this many and they outnumber the bytes still queued.
constexpr std::size_t kCompactAfter = 4096;
// A total read time beyond this (about 35 years) is no limit; the clock could not hold it.
constexpr std::uint64_t kLongestTotalMs = std::uint64_t{1} << 40;
// Line errors, as a UART's line status reports them; each raises ev::Err.
constexpr std::uint32_t kLineErrors = ce::Frame | ce::RxParity | ce::Overrun | ce::Break;

}  // namespace

std::shared_ptr<PosixDevice> PosixDevice::open(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (!::isatty(fd)) {
        error = ENOTTY;
        ::close(fd);
        return nullptr;
    }
    // flock() also holds against root and against a second open in this process, where
    // TIOCEXCL alone would not.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    // Terminal programs announce a device they hold with a lock file, and root passes
    // TIOCEXCL: honour theirs, and hold one while open.
    std::unique_ptr<UucpLock> uucp = UucpLock::acquire(path, error);
    if (!uucp) {
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    // A real line marks errors and breaks in the stream, so each is known where it came
    // (a break is no data byte); a pseudo-terminal has neither.
    const bool pty = isPseudoTerminal(fd);
    LineCounters counters;
    const bool haveCounters = readLineCounters(fd, counters);
    const int roomFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int rawError = roomFd < 0 ? errno : prepareRawMode(fd, !pty);
    if (rawError != 0) {
        error = rawError;
        if (roomFd >= 0) {
            ::close(roomFd);
        }
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    auto device = std::shared_ptr<PosixDevice>(new PosixDevice(fd));
    device->m_roomFd = roomFd;
    device->m_uucp = std::move(uucp);
    device->m_haveCounters = haveCounters;
    device->m_counters = counters;
    device->m_errorsWithoutMarks = pty;
    device->m_marking = !pty;
    PosixDevice* raw = device.get();
    device->m_watcher =
        ModemWatcher::start(fd, [raw](std::uint32_t events) { raw->linesChanged(events); });
    return device;
}

PosixDevice::PosixDevice(int fd) : m_fd(fd) {}

PosixDevice::~PosixDevice() {
    close();
}

void PosixDevice::close() {
    // The watcher reports under the device's lock: stop it before taking the lock.
    m_watcher.reset();
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        return;
    }
    failLocked(kErrorOperationAborted);
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    ::close(m_roomFd);
    m_roomFd = -1;
    m_uucp.reset();
}

int PosixDevice::setupQueues(std::uint32_t inputSize, std::uint32_t outputSize) {
    std::lock_guard lock(m_mutex);
    if (inputSize == 0 || inputSize > kMaxQueue || outputSize > kMaxQueue) {
        return EINVAL;
    }
    m_capacity = inputSize;
    return 0;
}

int PosixDevice::setLineSettings(const Dcb& dcb) {
    std::lock_guard lock(m_mutex);
    // Replacing bad characters needs to know which ones they are: only marks tell that.
    const bool replace = (dcb.Flags & dcbflag::Parity) && (dcb.Flags & dcbflag::ErrorChar);
    const bool marking = !m_errorsWithoutMarks || replace;
    if (int error = applyLineSettings(m_fd, dcb, marking)) {
        return error;
    }
    if (m_watcher) {
        m_watcher->rearm();
    }
    if (marking != m_marking) {
        m_markState = 0;
    }
    m_marking = marking;
    m_dcb = dcb;
    return 0;
}

void PosixDevice::setTimeouts(const CommTimeouts& timeouts) {
    std::lock_guard lock(m_mutex);
    m_timeouts = timeouts;
}

void PosixDevice::setEventMask(std::uint32_t mask) {
    std::lock_guard lock(m_mutex);
    m_mask = mask;
    m_history = 0;
    if (m_waitPending) {
        *m_wait.mask = 0;
        m_waitPending = false;
        completeLocked(m_wait.overlapped, 0, 0);
    }
}

int PosixDevice::startEventWait(std::uint32_t* mask, Overlapped* overlapped, bool& completed) {
    std::lock_guard lock(m_mutex);
    // After a hang-up the events still unreported are given out first.
    if (m_failed && !(m_hungUp && m_history != 0 && mask && overlapped)) {
        return m_failError;
    }
    if (m_waitPending || mask == nullptr || overlapped == nullptr || m_mask == 0) {
        return EINVAL;
    }
    auto signal = findSignal(overlapped->hEvent);
    if (!signal) {
        return kErrorInvalidHandle;
    }
    signal->reset();
    if (m_history != 0) {
        *mask = m_history;
        m_history = 0;
        completeLocked(overlapped, 0, 0);
        completed = true;
        return 0;
    }
    overlapped->Internal = kStatusPending;
    m_wait = PendingWait{mask, overlapped};
    m_waitPending = true;
    signal->attachSource(weak_from_this());
    completed = false;
    return 0;
}

int PosixDevice::queryStatus(std::uint32_t* errors, ComStat* stat) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    pumpLocked();
    if (errors) {
        *errors = m_errors;
    }
    m_errors = 0;
    if (stat) {
        *stat = ComStat{};
        stat->cbInQue = static_cast<std::uint32_t>(queuedLocked());
    }
    return 0;
}

int PosixDevice::modemStatus(std::uint32_t* status) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    std::uint32_t lines = 0;
    if (int error = readModemStatus(m_fd, lines)) {
        return error;
    }
    if (status) {
        *status = lines;
    }
    return 0;
}

int PosixDevice::startRead(void* buffer, std::uint32_t count, std::uint32_t* read,
                           Overlapped* overlapped, bool& completed) {
    std::lock_guard lock(m_mutex);
    // After a hang-up what was received is still read out; nothing more will come.
    if (m_failed && !(m_hungUp && queuedLocked() > 0)) {
        return m_failError;
    }
    if (overlapped == nullptr || (buffer == nullptr && count > 0)) {
        return EINVAL;
    }
    if (m_readPending) {
        return EBUSY;
    }
    auto signal = findSignal(overlapped->hEvent);
    if (!signal) {
        return kErrorInvalidHandle;
    }
    signal->reset();

    const CommTimeouts& t = m_timeouts;
    auto* out = static_cast<char*>(buffer);
    const bool immediate = t.ReadIntervalTimeout == kMaxTimeout &&
                           t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool anyBytes =
        t.ReadIntervalTimeout == kMaxTimeout && t.ReadTotalTimeoutMultiplier == kMaxTimeout &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxTimeout;
    // What waits in the queue is older than what waits in the tty, and goes first. Bytes
    // that need no decoding then go from the tty straight into the caller's buffer.
    std::uint32_t done = 0;
    if (plainLocked()) {
        done = takeLocked(out, count);
        if (done < count && queuedLocked() == 0) {
            done += readDirectLocked(out + done, count - done);
        }
    } else {
        pumpLocked();
        done = takeLocked(out, count);
    }
    if (immediate || done == count || (anyBytes && done > 0) || m_failed) {
        if (read) {
            *read = done;
        }
        completeLocked(overlapped, 0, done);
        completed = true;
        return 0;
    }
    const Clock::time_point now = Clock::now();
    PendingRead pending;
    pending.buffer = out;
    pending.count = count;
    pending.done = done;
    pending.overlapped = overlapped;
    pending.anyBytes = anyBytes;
    pending.lastByte = now;
    if (anyBytes) {
        pending.totalDeadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    } else {
        const std::uint64_t total =
            std::uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
        if (total > 0 && total < kLongestTotalMs) {
            pending.totalDeadline =
                now + std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(total));
        }
        if (t.ReadIntervalTimeout != kMaxTimeout) {
            pending.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
        }
    }
    overlapped->Internal = kStatusPending;
    m_read = pending;
    m_readPending = true;
    signal->attachSource(weak_from_this());
    completed = false;
    return 0;
}

int PosixDevice::transferResult(Overlapped* overlapped, std::uint32_t* transferred, bool wait) {
    if (overlapped == nullptr) {
        return EINVAL;
    }
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (overlapped->Internal != kStatusPending) {
                if (overlapped->Internal != 0) {
                    return static_cast<int>(overlapped->Internal);
                }
                if (transferred) {
                    *transferred = static_cast<std::uint32_t>(overlapped->InternalHigh);
                }
                return 0;
            }
        }
        if (!wait) {
            return kErrorIoIncomplete;
        }
        if (waitForSignal(overlapped->hEvent, kInfinite) != kWaitObject0) {
            return lastError();
        }
    }
}

int PosixDevice::purge(std::uint32_t flags) {
    std::lock_guard lock(m_mutex);
    if (m_fd < 0) {
        return kErrorInvalidHandle;
    }
    if (m_failed) {
        return 0;  // nothing pending, nothing left to flush on a device that went away
    }
    if ((flags & purge::RxAbort) && m_readPending) {
        m_readPending = false;
        completeLocked(m_read.overlapped, kErrorOperationAborted, m_read.done);
    }
    if (flags & purge::RxClear) {
        ::ioctl(m_fd, TCFLSH, 0 /* TCIFLUSH */);
        m_queue.clear();
        m_head = 0;
        m_above80 = false;
        m_markState = 0;
    }
    if (flags & purge::TxClear) {
        ::ioctl(m_fd, TCFLSH, 1 /* TCOFLUSH */);
    }
    return 0;
}

void PosixDevice::prepareWait(std::vector<pollfd>& fds, Clock::time_point& deadline) {
    std::lock_guard lock(m_mutex);
    if (m_failed || m_fd < 0) {
        return;
    }
    // A full queue stops reading: the rest waits in the kernel until a read makes room
    // (which the room descriptor tells), so a slow reader never makes the waiter spin on a
    // readable descriptor. A hang-up is still seen.
    const bool full = queuedLocked() >= m_capacity;
    fds.push_back(pollfd{m_fd, static_cast<short>(full ? 0 : POLLIN), 0});
    if (full) {
        fds.push_back(pollfd{m_roomFd, POLLIN, 0});
        m_roomWatched = true;
    }
    if (m_readPending) {
        deadline = std::min(deadline, readDeadlineLocked());
    }
}

void PosixDevice::serviceWait(std::span<const pollfd> fds) {
    std::lock_guard lock(m_mutex);
    if (m_failed || m_fd < 0) {
        return;
    }
    bool ready = false;
    bool hungUp = false;
    for (const pollfd& entry : fds) {
        if (entry.fd == m_fd && (entry.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            ready = true;
            hungUp = (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        }
        if (entry.fd == m_roomFd) {
            m_roomWatched = false;
            if (entry.revents & POLLIN) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_roomFd, &count, sizeof count);
                ready = true;
            }
        }
    }
    if (ready) {
        pumpLocked();
        // A full queue reads nothing more: a hang-up has to be taken from poll() itself.
        if (hungUp && !m_failed && queuedLocked() >= m_capacity) {
            hangUpLocked(EIO);
        }
    } else if (m_readPending) {
        serviceReadLocked(Clock::now());
    }
}

void PosixDevice::pumpLocked() {
    if (m_failed || m_fd < 0) {
        return;
    }
    unsigned char chunk[4096];
    while (queuedLocked() < m_capacity) {
        const std::size_t room = std::min(sizeof chunk, m_capacity - queuedLocked());
        const ssize_t n = ::read(m_fd, chunk, room);
        if (n > 0) {
            receiveLocked(chunk, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < room) {
                break;  // the tty had no more; poll() tells when it has
            }
            continue;
        }
        if (n == 0) {
            hangUpLocked(EIO);  // hung up: the far side or the adapter went away
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            hangUpLocked(errno);
            return;
        }
        break;
    }
    serviceReadLocked(Clock::now());
    serviceWaitLocked();
}

bool PosixDevice::plainLocked() const {
    return !m_marking && !(m_dcb.Flags & dcbflag::Null) && !m_failed && m_fd >= 0;
}

std::uint32_t PosixDevice::readDirectLocked(char* out, std::uint32_t count) {
    // Until the tty has nothing more: a read that empties the tty's buffer lets the driver
    // move in what is waiting behind it, so a short read is not yet the end.
    std::uint32_t done = 0;
    while (done < count) {
        const std::uint32_t want = count - done;
        const ssize_t n = ::read(m_fd, out + done, want);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno != EAGAIN) {
            hangUpLocked(n == 0 ? EIO : errno);
        }
        break;
    }
    if (done > 0) {
        // Handed over as they came: never queued, so no ev::RxChar, but the event
        // character is still told.
        std::uint32_t events = 0;
        if (std::memchr(out, static_cast<unsigned char>(m_dcb.EvtChar), done)) {
            events |= ev::RxFlag;
        }
        noteCountersLocked();
        noteEventsLocked(events);
        serviceWaitLocked();
    }
    return done;
}

void PosixDevice::noteCountersLocked() {
    if (!m_haveCounters) {
        return;
    }
    LineCounters now;
    if (readLineCounters(m_fd, now)) {
        // The marks cannot tell an overrun, nor a tty buffer that overflowed.
        if (now.overrun != m_counters.overrun) {
            m_errors |= ce::Overrun;
            noteEventsLocked(ev::Err);
        }
        if (now.bufOverrun != m_counters.bufOverrun) {
            m_errors |= ce::RxOver;  // a full queue: no line error, no ev::Err
        }
        m_counters = now;
    }
}

void PosixDevice::receiveLocked(const unsigned char* bytes, std::size_t count) {
    // New bytes are appended at the block's end; nothing is taken while receiving.
    const std::size_t before = m_queue.size();
    std::uint32_t events = 0;
    std::uint32_t seen = 0;  // line errors that came with these bytes
    std::size_t i = 0;
    if (!m_marking) {
        acceptPlainLocked(bytes, count);
        i = count;
    }
    while (i < count) {
        if (m_markState == 0) {
            // Up to the next 0xFF nothing is marked: the run goes in as it stands.
            const void* mark = std::memchr(bytes + i, 0xFF, count - i);
            const std::size_t end =
                mark ? static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - bytes)
                     : count;
            acceptPlainLocked(bytes + i, end - i);
            i = end;
            if (i == count) {
                break;
            }
        }
        const unsigned char byte = bytes[i++];
        switch (m_markState) {
            case 0:
                if (byte == 0xFF) {
                    m_markState = 1;
                } else {
                    acceptByteLocked(byte, false);
                }
                break;
            case 1:
                m_markState = 0;
                if (byte == 0xFF) {
                    acceptByteLocked(0xFF, false);
                } else if (byte == 0x00) {
                    m_markState = 2;
                } else {
                    acceptByteLocked(0xFF, false);
                    acceptByteLocked(byte, false);
                }
                break;
            default:
                m_markState = 0;
                if (byte == 0x00) {
                    // A break: an event and an error, never a data byte.
                    seen |= ce::Break;
                    events |= ev::Break;
                } else {
                    seen |= acceptByteLocked(byte, true);
                }
                break;
        }
    }
    noteCountersLocked();
    m_errors |= seen;
    if (seen & kLineErrors) {
        events |= ev::Err;
    }
    const std::size_t after = m_queue.size();
    if (after > before) {
        events |= ev::RxChar;
        if (std::memchr(m_queue.data() + before, static_cast<unsigned char>(m_dcb.EvtChar),
                        after - before)) {
            events |= ev::RxFlag;
        }
    }
    if (!m_above80 && queuedLocked() * 5 >= m_capacity * 4) {
        m_above80 = true;
        events |= ev::Rx80Full;
    }
    noteEventsLocked(events);
}

void PosixDevice::acceptPlainLocked(const unsigned char* bytes, std::size_t count) {
    const char* first = reinterpret_cast<const char*>(bytes);
    if (m_dcb.Flags & dcbflag::Null) {
        std::copy_if(first, first + count, std::back_inserter(m_queue),
                     [](char c) { return c != 0; });
    } else {
        m_queue.insert(m_queue.end(), first, first + count);
    }
}

std::uint32_t PosixDevice::acceptByteLocked(unsigned char byte, bool marked) {
    std::uint32_t kind = 0;
    if (marked) {
        // Framing and parity errors look alike in the mark; the driver's counters tell
        // them apart where it keeps them.
        LineCounters now;
        if (m_haveCounters && readLineCounters(m_fd, now)) {
            if (now.parity != m_counters.parity) {
                kind |= ce::RxParity;
            }
            if (now.frame != m_counters.frame) {
                kind |= ce::Frame;
            }
            m_counters = now;
        }
        if (kind == 0) {
            kind = m_dcb.Parity != kNoParity ? ce::RxParity : ce::Frame;
        }
        if ((m_dcb.Flags & dcbflag::ErrorChar) && (m_dcb.Flags & dcbflag::Parity)) {
            byte = static_cast<unsigned char>(m_dcb.ErrorChar);
        }
    }
    if (byte == 0 && (m_dcb.Flags & dcbflag::Null)) {
        return kind;
    }
    m_queue.push_back(static_cast<char>(byte));
    return kind;
}

void PosixDevice::linesChanged(std::uint32_t events) {
    std::lock_guard lock(m_mutex);
    noteEventsLocked(events);
    serviceWaitLocked();
}

void PosixDevice::noteEventsLocked(std::uint32_t events) {
    m_history |= events & m_mask;
}

void PosixDevice::hangUpLocked(int error) {
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_hungUp = true;
    m_failError = error;
    // A pending read ends with what it has; a pending wait gives out what happened
    // before, and fails only when nothing did.
    if (m_readPending) {
        PendingRead& r = m_read;
        r.done += takeLocked(r.buffer + r.done, r.count - r.done);
        m_readPending = false;
        completeLocked(r.overlapped, r.done > 0 ? 0 : error, r.done);
    }
    if (m_waitPending && m_history != 0) {
        serviceWaitLocked();
    } else if (m_waitPending) {
        m_waitPending = false;
        *m_wait.mask = 0;
        completeLocked(m_wait.overlapped, error, 0);
    }
}

void PosixDevice::failLocked(int error) {
    if (!m_failed) {
        m_failed = true;
        m_failError = error;
    }
    if (m_waitPending) {
        m_waitPending = false;
        *m_wait.mask = 0;
        completeLocked(m_wait.overlapped, error, 0);
    }
    if (m_readPending) {
        m_readPending = false;
        completeLocked(m_read.overlapped, error, m_read.done);
    }
}

Clock::time_point PosixDevice::readDeadlineLocked() const {
    Clock::time_point deadline = m_read.totalDeadline;
    if (m_read.interval.count() > 0 && m_read.done > 0) {
        deadline = std::min(deadline, m_read.lastByte + m_read.interval);
    }
    return deadline;
}

void PosixDevice::serviceReadLocked(Clock::time_point now) {
    if (!m_readPending) {
        return;
    }
    PendingRead& r = m_read;
    const std::uint32_t got = takeLocked(r.buffer + r.done, r.count - r.done);
    if (got > 0) {
        r.done += got;
        r.lastByte = now;
    }
    const bool finished =
        r.done == r.count || (r.anyBytes && r.done > 0) || now >= readDeadlineLocked();
    if (finished) {
        m_readPending = false;
        completeLocked(r.overlapped, 0, r.done);
    }
}

void PosixDevice::serviceWaitLocked() {
    if (m_waitPending && m_history != 0) {
        *m_wait.mask = m_history;
        m_history = 0;
        m_waitPending = false;
        completeLocked(m_wait.overlapped, 0, 0);
    }
}

void PosixDevice::completeLocked(Overlapped* overlapped, int status, std::uint32_t count) {
    overlapped->Internal = static_cast<std::uintptr_t>(status);
    overlapped->InternalHigh = count;
    if (auto signal = findSignal(overlapped->hEvent)) {
        signal->detachSource();
        signal->set();
    }
}

std::uint32_t PosixDevice::takeLocked(char* buffer, std::uint32_t count) {
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::size_t>(count, queuedLocked()));
    if (n > 0) {
        std::memcpy(buffer, m_queue.data() + m_head, n);
        m_head += n;
    }
    if (m_head == m_queue.size()) {
        m_queue.clear();  // keeps the allocation for the next bytes
        m_head = 0;
    } else if (m_head >= kCompactAfter && m_head >= queuedLocked()) {
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
    if (m_above80 && queuedLocked() * 5 < m_capacity * 4) {
        m_above80 = false;
    }
    if (m_roomWatched && n > 0 && queuedLocked() + n >= m_capacity && queuedLocked() < m_capacity &&
        m_roomFd >= 0) {
        m_roomWatched = false;  // one wake-up is enough: the waiter reads the tty again
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(m_roomFd, &one, sizeof one);
    }
    return n;
}

}  // namespace platform::posix
