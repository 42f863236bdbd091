#include "support/TtySettings.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <stdexcept>

TtySettings readTtySettings(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) < 0) {
        throw std::runtime_error("TCGETS2 failed");
    }
    return TtySettings{tio.c_iflag, tio.c_oflag,  tio.c_cflag,
                       tio.c_lflag, tio.c_ispeed, tio.c_ospeed};
}
