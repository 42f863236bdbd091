#include "platform/posix/ModemWatcher.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "platform/posix/LineSettings.h"

namespace platform::posix {

namespace {

// Interrupts the watcher's wait in the kernel when the device closes.
int wakeSignal() {
    static const int number = [] {
        const int signal = SIGRTMIN + 3;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the ioctl returns EINTR
        sigaction(signal, &action, nullptr);
        return signal;
    }();
    return number;
}

}  // namespace

std::unique_ptr<ModemWatcher> ModemWatcher::start(int fd, Changed changed) {
    int raw = 0;
    if (::ioctl(fd, TIOCMGET, &raw) < 0) {
        return nullptr;
    }
    std::uint32_t lines = 0;
    if (readModemStatus(fd, lines) != 0) {
        return nullptr;
    }
    wakeSignal();
    return std::unique_ptr<ModemWatcher>(new ModemWatcher(fd, std::move(changed), lines));
}

ModemWatcher::ModemWatcher(int fd, Changed changed, std::uint32_t lines)
    : m_fd(fd), m_changed(std::move(changed)), m_lines(lines), m_thread([this] { run(); }) {}

ModemWatcher::~ModemWatcher() {
    m_stop.store(true);
    // The signal may land just before the thread enters its wait; repeat it until the
    // thread has gone (only while closing).
    while (!m_exited.load()) {
        pthread_kill(m_thread.native_handle(), wakeSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_thread.join();
}

void ModemWatcher::run() {
    constexpr int kLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
    while (!m_stop.load()) {
        if (::ioctl(m_fd, TIOCMIWAIT, kLines) < 0 && errno != EINTR) {
            break;  // the driver cannot wait, or the device went away
        }
        std::uint32_t now = 0;
        if (m_stop.load() || readModemStatus(m_fd, now) != 0) {
            break;
        }
        if (now != m_lines) {
            m_changed(m_lines, now);
            m_lines = now;
        }
    }
    m_exited.store(true);
}

}  // namespace platform::posix
