#include "platform/InstanceGuard.h"

#include <windows.h>

#include "platform/LastError.h"

namespace platform {

InstanceName holdInstanceName(const std::string& name) {
    // A named mutex in the session's namespace; the kernel drops it when the last handle
    // goes, that is when the process ends, however it ends.
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD error = ::GetLastError();
    if (mutex == nullptr) {
        setLastError(static_cast<int>(error));
        return InstanceName::Failed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        setLastError(ERROR_ALREADY_EXISTS);
        return InstanceName::AlreadyExists;
    }
    return InstanceName::Created;  // the handle stays open for the life of the process
}

}  // namespace platform
