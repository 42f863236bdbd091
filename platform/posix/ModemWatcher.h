// Wakes on modem-line changes of a tty whose driver reports them (TIOCMIWAIT), in a thread
// of its own that sleeps in the kernel until a line changes; nothing polls. A device without
// modem lines (a pseudo-terminal) gets no watcher.
//
// Where the driver keeps change counters (TIOCGICOUNT, as serial drivers do), a line is
// reported when its counter moved, so a pulse that is over before anyone looks still counts,
// and a change between two waits is found by comparing before the next. A ring is reported
// when the driver counts one: on an 8250 that is RI's trailing edge. Without counters the
// levels are compared, and a pulse shorter than the wake-up is lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace platform::posix {

class ModemWatcher {
public:
    // ev:: bits of the lines that changed (ev::Cts, ev::Dsr, ev::Rlsd, ev::Ring).
    using Changed = std::function<void(std::uint32_t events)>;
    // Null when the device cannot report line changes.
    static std::unique_ptr<ModemWatcher> start(int fd, Changed changed);
    ~ModemWatcher();
    ModemWatcher(const ModemWatcher&) = delete;
    ModemWatcher& operator=(const ModemWatcher&) = delete;

    // After new line settings: a driver may turn its modem-status interrupt off with them
    // (an 8250 does, for CLOCAL without CRTSCTS) and on again only at the next wait.
    void rearm();

private:
    struct Look {
        std::uint32_t lines = 0;
        int cts = 0, dsr = 0, dcd = 0, rng = 0;
    };
    ModemWatcher(int fd, Changed changed, bool counters, Look first);
    bool look(Look& now) const;
    std::uint32_t changesSince(const Look& before, const Look& now) const;
    void run();

    int m_fd;
    Changed m_changed;
    bool m_counters;
    Look m_last;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_exited{false};
    std::thread m_thread;
};

}  // namespace platform::posix
