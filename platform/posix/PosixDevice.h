// One open serial device on Linux, with the receive side a serial driver keeps: its own
// input queue filled from the tty, pending line errors, the event history between waits,
// one pending event wait and one pending read. Descriptors are pumped by whichever thread
// waits on a pending operation's signal, or queries the device; nothing polls.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SerialApi.h"
#include "platform/posix/LineSettings.h"
#include "platform/posix/ModemWatcher.h"
#include "platform/posix/PosixSignal.h"
#include "platform/posix/UucpLock.h"

namespace platform::posix {

class PosixDevice final : public KernelObject,
                          public WakeSource,
                          public std::enable_shared_from_this<PosixDevice> {
public:
    // errno-style error in `error` when the result is null.
    static std::shared_ptr<PosixDevice> open(const std::string& path, int& error);
    ~PosixDevice() override;

    int setupQueues(std::uint32_t inputSize, std::uint32_t outputSize);
    int setLineSettings(const Dcb& dcb);
    void setTimeouts(const CommTimeouts& timeouts);
    void setEventMask(std::uint32_t mask);
    int startEventWait(std::uint32_t* mask, Overlapped* overlapped, bool& completed);
    int queryStatus(std::uint32_t* errors, ComStat* stat);
    int modemStatus(std::uint32_t* status);
    int startRead(void* buffer, std::uint32_t count, std::uint32_t* read, Overlapped* overlapped,
                  bool& completed);
    int transferResult(Overlapped* overlapped, std::uint32_t* transferred, bool wait);
    int purge(std::uint32_t flags);
    void close();

    void prepareWait(std::vector<pollfd>& fds, Clock::time_point& deadline) override;
    void serviceWait(std::span<const pollfd> fds) override;

private:
    explicit PosixDevice(int fd);

    struct PendingWait {
        std::uint32_t* mask = nullptr;
        Overlapped* overlapped = nullptr;
    };
    struct PendingRead {
        char* buffer = nullptr;
        std::uint32_t count = 0;
        std::uint32_t done = 0;
        Overlapped* overlapped = nullptr;
        bool anyBytes = false;  // completes as soon as one byte is there
        Clock::time_point totalDeadline = Clock::time_point::max();
        std::chrono::milliseconds interval{0};  // 0: no gap limit
        Clock::time_point lastByte{};
    };

    void linesChanged(std::uint32_t events);
    void pumpLocked();
    // The device went away: what was received stays readable and reported; then every
    // call fails with `error`.
    void hangUpLocked(int error);
    void receiveLocked(const unsigned char* bytes, std::size_t count);
    // Bytes that need no decoding (no error marks, no NULs to drop) on a working device.
    bool plainLocked() const;
    // Reads up to `count` bytes from the tty straight into `out`, with an empty queue, until
    // the tty has no more.
    std::uint32_t readDirectLocked(char* out, std::uint32_t count);
    // Overruns and tty-buffer overflows the driver counted since the last look.
    void noteCountersLocked();
    void acceptPlainLocked(const unsigned char* bytes, std::size_t count);
    // The line errors (ce::) the byte came with, 0 for none.
    std::uint32_t acceptByteLocked(unsigned char byte, bool marked);
    void noteEventsLocked(std::uint32_t events);
    void failLocked(int error);
    void serviceReadLocked(Clock::time_point now);
    void serviceWaitLocked();
    void completeLocked(Overlapped* overlapped, int status, std::uint32_t count);
    std::uint32_t takeLocked(char* buffer, std::uint32_t count);
    std::size_t queuedLocked() const { return m_queue.size() - m_head; }
    Clock::time_point readDeadlineLocked() const;

    std::mutex m_mutex;
    int m_fd;
    // Readable when a read made room in a full queue: wakes a waiter that stopped reading
    // the tty, so the bytes left there come in.
    int m_roomFd = -1;
    bool m_roomWatched = false;        // a waiter polls m_roomFd: a read that makes room tells it
    std::unique_ptr<UucpLock> m_uucp;  // held while open
    bool m_failed = false;
    int m_failError = 0;
    bool m_hungUp = false;  // failed by a hang-up: the queue is still read out
    // The input queue is m_queue from m_head on: one contiguous block, so bytes go in and
    // out by the run rather than one at a time.
    std::vector<char> m_queue;
    std::size_t m_head = 0;
    std::size_t m_capacity = 4096;
    bool m_above80 = false;
    Dcb m_dcb{};
    CommTimeouts m_timeouts{};
    std::uint32_t m_errors = 0;
    std::uint32_t m_mask = 0;
    std::uint32_t m_history = 0;
    bool m_waitPending = false;
    PendingWait m_wait;
    bool m_readPending = false;
    PendingRead m_read;
    // State of the error-mark parser across reads: 0 plain, 1 after 0xFF, 2 after 0xFF 0x00.
    int m_markState = 0;
    // Whether the tty marks characters received with errors and breaks (see receiveLocked).
    bool m_marking = false;
    // A pseudo-terminal has no line: no errors and no breaks to mark.
    bool m_errorsWithoutMarks = false;
    bool m_haveCounters = false;
    LineCounters m_counters;
    std::unique_ptr<ModemWatcher> m_watcher;
};

}  // namespace platform::posix
