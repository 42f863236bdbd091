// Wakes on modem-line changes of a tty whose driver reports them (TIOCMIWAIT), in a thread
// of its own that sleeps in the kernel until a line changes; nothing polls. A device without
// modem lines (a pseudo-terminal) gets no watcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace platform::posix {

class ModemWatcher {
public:
    using Changed = std::function<void(std::uint32_t before, std::uint32_t now)>;
    // Null when the device cannot report line changes.
    static std::unique_ptr<ModemWatcher> start(int fd, Changed changed);
    ~ModemWatcher();
    ModemWatcher(const ModemWatcher&) = delete;
    ModemWatcher& operator=(const ModemWatcher&) = delete;

private:
    ModemWatcher(int fd, Changed changed, std::uint32_t lines);
    void run();

    int m_fd;
    Changed m_changed;
    std::uint32_t m_lines;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_exited{false};
    std::thread m_thread;
};

}  // namespace platform::posix
