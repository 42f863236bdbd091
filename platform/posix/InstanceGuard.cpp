#include "platform/InstanceGuard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/LastError.h"

namespace platform {

InstanceName holdInstanceName(const std::string& name) {
    // An abstract socket address: it leaves nothing in the file system and the kernel drops
    // it when the process ends, however it ends. The user id keeps users apart.
    const std::string key = name + "-" + std::to_string(::getuid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::min(key.size(), sizeof address.sun_path - 2);
    std::memcpy(address.sun_path + 1, key.data(), length);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        setLastError(errno);
        return InstanceName::Failed;
    }
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) < 0) {
        const int error = errno;
        ::close(fd);
        setLastError(error);
        return error == EADDRINUSE ? InstanceName::AlreadyExists : InstanceName::Failed;
    }
    return InstanceName::Created;  // the descriptor stays open for the life of the process
}

}  // namespace platform
