// The guest's line to the rig on the host: a spare UART (ttyS3) that carries one command a
// line and its answer. The host plays the far side of the other ports: their data, breaks
// and modem lines, and the unplugging of the hot-pluggable one.
#pragma once

#include <string>
#include <string_view>

class HostLink {
public:
    static HostLink& instance();

    // "OK ..." gives what follows; anything else fails the calling test.
    std::string command(const std::string& line);

    // Port 1 is ttyS1 (a telnet socket: data and breaks), port 2 is ttyS2 (a host tty: data
    // and modem lines).
    void send(int port, std::string_view bytes);
    void sendBreak(int port);
    // Modem lines toward ttyS2: any of CTS DSR RLSD RING, or none.
    void setLines(const std::string& names);
    // The lines on for `ms` milliseconds, then off.
    void pulse(const std::string& names, int ms);
    // The control lines ttyS2 drives: "DTR", "RTS", both or "".
    std::string controlLines();
    // Removes the hot-pluggable PCI port (ttyS4), as pulling a card out would.
    void unplug();

private:
    HostLink();
    int m_fd = -1;
};
