// The far side of Wine's COM3: the pseudo-terminal that pty-helper holds behind the link
// dosdevices/com3, scripted over a loopback connection (PTY_HELPER_PORT names the port).
// Each FarSide starts with a fresh pty, all modem lines off.
#pragma once

#include <string>
#include <string_view>

// Linux's termios bits, as the far side reports the tty's settings.
namespace tty {
inline constexpr unsigned CSIZE = 0x30, CS7 = 0x20, CS8 = 0x30, CSTOPB = 0x40, PARENB = 0x100,
                          PARODD = 0x200, CRTSCTS = 0x80000000u;
inline constexpr unsigned IXON = 0x400, IXOFF = 0x1000;
inline constexpr unsigned ICANON = 0x2, ECHO = 0x8, ISIG = 0x1;
}  // namespace tty

class FarSide {
public:
    FarSide();
    ~FarSide();
    FarSide(const FarSide&) = delete;
    FarSide& operator=(const FarSide&) = delete;

    // Bytes to the port: at once, or paced at `charactersPerSecond` (the call returns at
    // once; the helper sends them meanwhile).
    void send(std::string_view bytes, int charactersPerSecond = 0);
    // The modem lines the port will read: any of "CTS DSR RING RLSD", or "".
    void setLines(const std::string& names);
    // Closes the far side, as an unplugged cable or adapter would.
    void hangUp();
    // Takes the device away altogether: COM3 names nothing until the next FarSide.
    void remove();

    struct Settings {
        unsigned ispeed = 0, ospeed = 0, cflag = 0, iflag = 0, lflag = 0;
    };
    Settings settings();

private:
    // One command, its answer after "OK"; a failed command fails the test.
    std::string command(const std::string& line);

    std::uintptr_t m_socket;
};
