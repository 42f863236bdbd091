#include "platform/posix/ModemWatcher.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>

#include "platform/SerialApi.h"
#include "platform/posix/LineSettings.h"

namespace platform::posix {

namespace {

// Interrupts the watcher's wait in the kernel (closing, re-arming).
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
    LineCounters probe;
    const bool counters = readLineCounters(fd, probe);
    wakeSignal();
    auto watcher =
        std::unique_ptr<ModemWatcher>(new ModemWatcher(fd, std::move(changed), counters, Look{}));
    // The first look, before the first wait: what changes from here on is reported.
    if (!watcher->look(watcher->m_last)) {
        return nullptr;
    }
    watcher->m_thread = std::thread([w = watcher.get()] { w->run(); });
    return watcher;
}

ModemWatcher::ModemWatcher(int fd, Changed changed, bool counters, Look first)
    : m_fd(fd), m_changed(std::move(changed)), m_counters(counters), m_last(first) {}

ModemWatcher::~ModemWatcher() {
    if (!m_thread.joinable()) {
        return;
    }
    m_stop.store(true);
    // The signal may land just before the thread enters its wait; repeat it until the
    // thread has gone (only while closing).
    while (!m_exited.load()) {
        pthread_kill(m_thread.native_handle(), wakeSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_thread.join();
}

void ModemWatcher::rearm() {
    if (m_thread.joinable() && !m_exited.load()) {
        pthread_kill(m_thread.native_handle(), wakeSignal());
    }
}

bool ModemWatcher::look(Look& now) const {
    if (readModemStatus(m_fd, now.lines) != 0) {
        return false;
    }
    LineCounters counters;
    if (m_counters && !readLineCounters(m_fd, counters)) {
        return false;
    }
    now.cts = counters.cts;
    now.dsr = counters.dsr;
    now.dcd = counters.dcd;
    now.rng = counters.rng;
    return true;
}

std::uint32_t ModemWatcher::changesSince(const Look& before, const Look& now) const {
    // The levels as well: a driver counts a change only while its modem-status interrupt
    // is on, and a status read while it is off (after new line settings) takes the change
    // without counting it.
    const std::uint32_t changed = before.lines ^ now.lines;
    std::uint32_t events = 0;
    events |= (changed & ms::CtsOn) ? ev::Cts : 0;
    events |= (changed & ms::DsrOn) ? ev::Dsr : 0;
    events |= (changed & ms::RlsdOn) ? ev::Rlsd : 0;
    if (!m_counters) {
        events |= (changed & ms::RingOn) && (now.lines & ms::RingOn) ? ev::Ring : 0;
        return events;
    }
    events |= now.cts != before.cts ? ev::Cts : 0;
    events |= now.dsr != before.dsr ? ev::Dsr : 0;
    events |= now.dcd != before.dcd ? ev::Rlsd : 0;
    // A ring as the driver counts it, on RI's trailing edge.
    events |= now.rng != before.rng || ((changed & ms::RingOn) && !(now.lines & ms::RingOn))
                  ? ev::Ring
                  : 0;
    return events;
}

void ModemWatcher::run() {
    constexpr int kLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
    while (!m_stop.load()) {
        // What changed since the last look, the time outside the wait included; the wait
        // itself only wakes for changes after it started.
        Look now;
        if (!look(now)) {
            break;  // the device went away
        }
        if (const std::uint32_t events = changesSince(m_last, now)) {
            m_last = now;
            m_changed(events);
            continue;
        }
        m_last = now;
        if (::ioctl(m_fd, TIOCMIWAIT, kLines) < 0 && errno != EINTR) {
            break;  // the driver cannot wait, or the device went away
        }
    }
    m_exited.store(true);
}

}  // namespace platform::posix
