#include "platform/LastError.h"

#include <cerrno>

namespace platform {

namespace {
thread_local int t_lastError = 0;
}

int lastError() {
    return t_lastError;
}
void setLastError(int error) {
    t_lastError = error;
}

const int kErrorIoPending = EINPROGRESS;
const int kErrorInvalidHandle = EBADF;
const int kErrorOperationAborted = ECANCELED;
const int kErrorIoIncomplete = EALREADY;
const int kErrorInUse = EBUSY;

}  // namespace platform
