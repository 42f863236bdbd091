#include "platform/posix/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::posix {

namespace {

// The process id a lock file names: ten ASCII digits (HDB), or the old binary int.
pid_t holderOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return -1;
    }
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary;
    }
    return n > 0 ? static_cast<pid_t>(std::strtol(text, nullptr, 10)) : -1;
}

bool alive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Our own id, written whole into a fresh file beside the lock, for link() to publish.
std::string writeCandidate(const std::string& folder) {
    const std::string path = folder + "/LTMP." + std::to_string(::getpid());
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return {};
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
    ::fchmod(fd, 0644);  // readable by every terminal program, whatever the umask
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

}  // namespace

std::string UucpLock::fileName(const std::string& devicePath) {
    char resolved[PATH_MAX];
    std::string device = ::realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
    if (device.rfind("/dev/", 0) == 0) {
        device.erase(0, 5);
    }
    for (char& c : device) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + device;
}

std::unique_ptr<UucpLock> UucpLock::acquire(const std::string& devicePath, int& error,
                                            const std::string& folder) {
    error = 0;
    const std::string path = folder + "/" + fileName(devicePath);
    const std::string candidate = writeCandidate(folder);
    if (candidate.empty()) {
        return std::unique_ptr<UucpLock>(new UucpLock(std::string()));
    }
    // link() publishes the whole file at once or fails with EEXIST: two programs never both
    // take the lock.
    std::unique_ptr<UucpLock> lock;
    error = EBUSY;  // unless taken below, or the folder turns out not to be ours to write
    for (int attempt = 0; attempt < 3 && !lock; ++attempt) {
        if (::link(candidate.c_str(), path.c_str()) == 0) {
            lock.reset(new UucpLock(path));
            error = 0;
        } else if (errno != EEXIST) {
            lock.reset(new UucpLock(std::string()));  // no lock can be taken here at all
            error = 0;
        } else if (alive(holderOf(path))) {
            break;
        } else {
            ::unlink(path.c_str());  // stale: its process is gone
        }
    }
    ::unlink(candidate.c_str());
    return lock;
}

UucpLock::~UucpLock() {
    // Only while it is still ours.
    if (!m_path.empty() && holderOf(m_path) == ::getpid()) {
        ::unlink(m_path.c_str());
    }
}

}  // namespace platform::posix
