#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"

namespace platform {

bool setCurrentThreadPriority(int step) {
    // Normal is what a new thread has; only other steps change the thread's nice value.
    constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
    if (step < 0 || step > 6) {
        setLastError(EINVAL);
        return false;
    }
    if (step == 3) {
        return true;
    }
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, tid, kNice[step]) < 0) {
        setLastError(errno);
        return false;
    }
    return true;
}

}  // namespace platform
