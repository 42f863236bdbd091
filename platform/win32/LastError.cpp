#include "platform/LastError.h"

#include <windows.h>

namespace platform {

// The platform error is the thread's own Win32 error value.
int lastError() {
    return static_cast<int>(::GetLastError());
}
void setLastError(int error) {
    ::SetLastError(static_cast<DWORD>(error));
}

const int kErrorIoPending = ERROR_IO_PENDING;
const int kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const int kErrorOperationAborted = ERROR_OPERATION_ABORTED;
const int kErrorIoIncomplete = ERROR_IO_INCOMPLETE;
// What a second open of a serial device gets on Windows.
const int kErrorInUse = ERROR_ACCESS_DENIED;

}  // namespace platform
