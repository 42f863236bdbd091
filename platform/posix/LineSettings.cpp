// Only the kernel's own termios2 definitions are used in this file: the C library's
// <termios.h> cannot be mixed with them and has no arbitrary-rate interface.
#include "platform/posix/LineSettings.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace platform::posix {

namespace {

bool noModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

int setModemLine(int fd, int line, bool on) {
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) < 0 && !noModemLines(errno)) {
        return errno;
    }
    return 0;
}

}  // namespace

bool isPseudoTerminal(int fd) {
    struct stat st {};
    // The kernel's pseudo-terminal slaves have majors 136 to 143.
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

int prepareRawMode(int fd, bool markErrors) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) < 0) {
        return errno;
    }
    // Without marks a break would come in as a NUL like any other: the kernel drops it,
    // as a line without breaks (a pseudo-terminal) has none to give anyway.
    tio.c_iflag = markErrors ? INPCK | PARMRK : IGNBRK;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = (tio.c_cflag & (CBAUD | CIBAUD)) | CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when empty, 0 only at hang-up
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &tio) < 0) {
        return errno;
    }
    return 0;
}

int ttyLineFor(const Dcb& dcb, bool markErrors, TtyLine& line) {
    tcflag_t cflag = CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    switch (dcb.ByteSize) {
        case 5:
            cflag |= CS5;
            break;
        case 6:
            cflag |= CS6;
            break;
        case 7:
            cflag |= CS7;
            break;
        case 8:
            cflag |= CS8;
            break;
        default:
            return EINVAL;
    }
    switch (dcb.Parity) {
        case kNoParity:
            break;
        case kOddParity:
            cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            cflag |= PARENB;
            break;
        case kMarkParity:
            cflag |= PARENB | PARODD | CMSPAR;
            break;
        case kSpaceParity:
            cflag |= PARENB | CMSPAR;
            break;
        default:
            return EINVAL;
    }
    // Linux has no 1.5 stop bits: CSTOPB gives 2, which a UART sends as 1.5 at 5 data bits.
    switch (dcb.StopBits) {
        case kOneStopBit:
            break;
        case kOne5StopBits:
        case kTwoStopBits:
            cflag |= CSTOPB;
            break;
        default:
            return EINVAL;
    }
    const std::uint32_t rts = dcb.Flags & dcbflag::RtsControlMask;
    line.rtsByKernel = rts == dcbflag::RtsControlHandshake;
    if ((dcb.Flags & dcbflag::OutxCtsFlow) || line.rtsByKernel) {
        cflag |= CRTSCTS;
    }
    if (dcb.BaudRate == 0) {
        return EINVAL;
    }
    // Error marks (on every real line; a pseudo-terminal has no line errors) tell which
    // byte came with an error and where a break was; the device layer strips them itself.
    tcflag_t iflag = markErrors ? INPCK | PARMRK : IGNBRK;
    if (dcb.Flags & dcbflag::OutX) {
        iflag |= IXON;
    }
    if (dcb.Flags & dcbflag::InX) {
        iflag |= IXOFF;
    }
    line.iflag = iflag;
    line.cflag = cflag;
    line.speed = dcb.BaudRate;
    line.startChar = static_cast<unsigned char>(dcb.XonChar);
    line.stopChar = static_cast<unsigned char>(dcb.XoffChar);
    // No DTR handshake on Linux: the line is simply held on.
    line.dtrOn = (dcb.Flags & dcbflag::DtrControlMask) != 0;
    line.rtsOn = rts == dcbflag::RtsControlEnable;
    return 0;
}

int applyLineSettings(int fd, const Dcb& dcb, bool markErrors) {
    TtyLine line;
    if (int error = ttyLineFor(dcb, markErrors, line)) {
        return error;
    }
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) < 0) {
        return errno;
    }
    tio.c_cflag = line.cflag;
    tio.c_iflag = line.iflag;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_ispeed = line.speed;
    tio.c_ospeed = line.speed;
    tio.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when empty, 0 only at hang-up
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = line.startChar;
    tio.c_cc[VSTOP] = line.stopChar;
    if (::ioctl(fd, TCSETS2, &tio) < 0) {
        return errno;
    }
    if (int error = setModemLine(fd, TIOCM_DTR, line.dtrOn)) {
        return error;
    }
    if (!line.rtsByKernel) {
        if (int error = setModemLine(fd, TIOCM_RTS, line.rtsOn)) {
            return error;
        }
    }
    return 0;
}

int readModemStatus(int fd, std::uint32_t& status) {
    int lines = 0;
    status = 0;
    if (::ioctl(fd, TIOCMGET, &lines) < 0) {
        return noModemLines(errno) ? 0 : errno;
    }
    if (lines & TIOCM_CTS) {
        status |= ms::CtsOn;
    }
    if (lines & TIOCM_DSR) {
        status |= ms::DsrOn;
    }
    if (lines & TIOCM_RNG) {
        status |= ms::RingOn;
    }
    if (lines & TIOCM_CAR) {
        status |= ms::RlsdOn;
    }
    return 0;
}

bool readLineCounters(int fd, LineCounters& counters) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) < 0) {
        return false;
    }
    counters.frame = icount.frame;
    counters.overrun = icount.overrun;
    counters.parity = icount.parity;
    counters.brk = icount.brk;
    counters.bufOverrun = icount.buf_overrun;
    counters.cts = icount.cts;
    counters.dsr = icount.dsr;
    counters.dcd = icount.dcd;
    counters.rng = icount.rng;
    return true;
}

}  // namespace platform::posix
