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
#include <system_error>
#include <thread>
#include <vector>

#include "platform/LastError.h"

extern char** environ;

namespace platform {

namespace {

// Collects the exit of every program we started, so none stays a zombie. It sleeps in
// poll() on the programs' pidfds; only our own launches are waited for, never other
// children of the process. It never stops: where the kernel lacks pidfds (or waiting on
// one), or a call fails, it falls back to looking at its programs with waitpid() every
// 100 ms.
class Reaper {
public:
    Reaper() : m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    void adopt(pid_t pid) {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(Child{pid, fd});
            if (!m_started) {
                try {
                    std::thread([this] { run(); }).detach();
                    m_started = true;
                } catch (const std::system_error&) {
                    // No thread now: the next launch tries again and finds this one queued.
                }
            }
        }
        if (m_wake >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
        }
    }

private:
    struct Child {
        pid_t pid;
        int fd;  // its pidfd, or -1 where there is none
    };

    static void collect(const Child& child) {
        siginfo_t info{};
        if (child.fd < 0 || ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(child.fd),
                                     &info, WEXITED) < 0) {
            // It has ended (its pidfd said so): waitpid() does not block.
            ::waitpid(child.pid, nullptr, 0);
        }
    }

    void run() {
        std::vector<Child> watched;
        std::vector<pollfd> fds;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                watched.insert(watched.end(), m_pending.begin(), m_pending.end());
                m_pending.clear();
            }
            fds.assign(1, pollfd{m_wake, POLLIN, 0});
            bool polling = m_wake < 0;
            for (const Child& child : watched) {
                fds.push_back(pollfd{child.fd, POLLIN, 0});  // poll() skips a negative fd
                polling = polling || child.fd < 0;
            }
            const int ready = ::poll(fds.data(), fds.size(), polling ? 100 : -1);
            if (ready < 0 && errno != EINTR) {
                polling = true;
                ::usleep(100 * 1000);
            }
            if (ready > 0 && (fds[0].revents & POLLIN)) {
                std::uint64_t value = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &value, sizeof value);
            }
            std::vector<Child> still;
            for (std::size_t i = 0; i < watched.size(); ++i) {
                const Child& child = watched[i];
                bool ended = ready > 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR));
                if (ended) {
                    collect(child);
                } else if (child.fd < 0 || (polling && ready <= 0)) {
                    const pid_t r = ::waitpid(child.pid, nullptr, WNOHANG);
                    ended = r == child.pid || (r < 0 && errno == ECHILD);
                }
                if (ended) {
                    if (child.fd >= 0) {
                        ::close(child.fd);
                    }
                } else {
                    still.push_back(child);
                }
            }
            watched.swap(still);
        }
    }

    int m_wake;
    std::mutex m_mutex;
    std::vector<Child> m_pending;
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
