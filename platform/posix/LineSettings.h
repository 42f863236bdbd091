// Puts a line-settings record onto a Linux tty: termios2 for any bit rate, the modem
// control lines through TIOCMBIS/TIOCMBIC where the device has them.
#pragma once

#include "platform/SerialApi.h"

namespace platform::posix {

// What a line-settings record asks of a tty: termios flags (the kernel's values), the bit
// rate and the two modem control lines.
struct TtyLine {
    unsigned iflag = 0;
    unsigned cflag = 0;
    unsigned speed = 0;
    unsigned char startChar = 0;
    unsigned char stopChar = 0;
    bool dtrOn = false;
    bool rtsOn = false;
    bool rtsByKernel = false;  // RTS follows the input queue (CRTSCTS)
};
// EINVAL for a record the tty cannot take, 0 otherwise. `markErrors` has the tty mark
// characters received with errors in the stream (PARMRK), where nothing else shows them.
int ttyLineFor(const Dcb& dcb, bool markErrors, TtyLine& line);

// Raw, non-blocking initial mode for a freshly opened device; errno on failure.
int prepareRawMode(int fd, bool markErrors);
// errno on failure, 0 on success.
int applyLineSettings(int fd, const Dcb& dcb, bool markErrors);
// A pseudo-terminal's far side: no line, so no line errors.
bool isPseudoTerminal(int fd);
// Modem-status bits (ms::), or 0 for a device without modem lines; errno on failure.
int readModemStatus(int fd, std::uint32_t& status);

// The driver's counters of line errors and modem-line changes, where it keeps them.
struct LineCounters {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int bufOverrun = 0;
    int cts = 0;
    int dsr = 0;
    int dcd = 0;
    int rng = 0;
};
bool readLineCounters(int fd, LineCounters& counters);

}  // namespace platform::posix
