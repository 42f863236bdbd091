#include <cerrno>

#include "platform/ProcessLauncher.h"

namespace platform {

LaunchError launchErrorKind(int error) {
    switch (error) {
        case ENOENT:
            return LaunchError::NotFound;
        case EACCES:
            return LaunchError::NoPermission;
        case ENOEXEC:
            return LaunchError::NotAProgram;
        default:
            return LaunchError::Other;
    }
}

}  // namespace platform
