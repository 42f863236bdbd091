#include "platform/ThreadPriority.h"

#include <windows.h>

#include "platform/LastError.h"

namespace platform {

bool setCurrentThreadPriority(int step) {
    constexpr int kPriority[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                 THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                 THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                 THREAD_PRIORITY_TIME_CRITICAL};
    if (step < 0 || step > 6) {
        setLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return ::SetThreadPriority(::GetCurrentThread(), kPriority[step]) != 0;
}

}  // namespace platform
