#include "platform/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/LastError.h"

namespace platform {

namespace {

// A folder only this user can reach: a lock file in it cannot be taken, or made to
// block, by any other user.
bool privateFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// The user's runtime folder; without one, a folder of the user's own in the temporary one.
std::string guardFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && privateFolder(runtime)) {
        return runtime;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder =
        std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/.instance-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);  // may exist already: then it must be ours, as checked
    return privateFolder(folder) ? folder : std::string();
}

// The name as a file name: letters, digits, '.', '_' and '-' as they are, the rest as %XX.
std::string fileName(const std::string& name) {
    std::string out;
    for (const unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

}  // namespace

InstanceName holdInstanceName(const std::string& name) {
    // A lock on a file of the user's private folder: the kernel drops it when the process
    // ends, however it ends.
    const std::string folder = guardFolder();
    if (folder.empty()) {
        setLastError(EACCES);
        return InstanceName::Failed;
    }
    const std::string path = folder + "/" + fileName(name) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        setLastError(errno);
        return InstanceName::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int error = errno;
        ::close(fd);
        setLastError(error);
        return error == EWOULDBLOCK ? InstanceName::AlreadyExists : InstanceName::Failed;
    }
    return InstanceName::Created;  // the descriptor stays open for the life of the process
}

}  // namespace platform
