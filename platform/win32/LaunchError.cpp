#include <windows.h>

#include "platform/ProcessLauncher.h"

namespace platform {

LaunchError launchErrorKind(int error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return LaunchError::NotFound;
        case ERROR_ACCESS_DENIED:
            return LaunchError::NoPermission;
        case ERROR_BAD_EXE_FORMAT:
        case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        case ERROR_EXE_MARKED_INVALID:
            return LaunchError::NotAProgram;
        default:
            return LaunchError::Other;
    }
}

}  // namespace platform
