#include "platform/ProcessLauncher.h"

#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/LastError.h"

extern char** environ;

namespace platform {

namespace {

// Collects the exit of every program we started, so none stays a zombie. It sleeps in
// poll() on the programs' pidfds; only our own launches are waited for, never other
// children of the process.
class Reaper {
public:
    Reaper() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    void adopt(pid_t pid) {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        if (fd < 0) {
            // No pidfds on this kernel: one short-lived waiter for this program.
            std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(fd);
            if (!m_started) {
                std::thread([this] { run(); }).detach();
                m_started = true;
            }
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }

private:
    void run() {
        std::vector<int> watched;
        std::vector<pollfd> fds;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                watched.insert(watched.end(), m_pending.begin(), m_pending.end());
                m_pending.clear();
            }
            fds.assign(1, pollfd{m_wake, POLLIN, 0});
            for (int fd : watched) {
                fds.push_back(pollfd{fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
                return;
            }
            if (fds[0].revents & POLLIN) {
                std::uint64_t value = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &value, sizeof value);
            }
            std::vector<int> still;
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    siginfo_t info{};
                    ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(fds[i].fd), &info,
                             WEXITED);
                    ::close(fds[i].fd);
                } else {
                    still.push_back(fds[i].fd);
                }
            }
            watched.swap(still);
        }
    }

    int m_wake;
    std::mutex m_mutex;
    std::vector<int> m_pending;
    bool m_started = false;
};

Reaper& reaper() {
    // Lives until the process ends: programs still running then are simply left to run.
    static Reaper* instance = new Reaper;
    return *instance;
}

}  // namespace

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: a signal to our terminal or process group does not reach it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int error =
        ::posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        setLastError(error);
        return false;
    }
    reaper().adopt(pid);
    return true;
}

}  // namespace platform
