#include "uart/HostLink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

HostLink& HostLink::instance() {
    static HostLink link;
    return link;
}

HostLink::HostLink() {
    m_fd = ::open("/dev/ttyS3", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        throw std::runtime_error("no control line on /dev/ttyS3");
    }
    termios t{};
    ::tcgetattr(m_fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(m_fd, TCSANOW, &t);
}

std::string HostLink::command(const std::string& line) {
    const std::string out = line + "\n";
    for (std::size_t done = 0; done < out.size();) {
        const ssize_t n = ::write(m_fd, out.data() + done, out.size() - done);
        if (n <= 0) {
            ADD_FAILURE() << "control line write failed";
            return {};
        }
        done += static_cast<std::size_t>(n);
    }
    std::string reply;
    char c = 0;
    while (::read(m_fd, &c, 1) == 1 && c != '\n') {
        reply += c;
    }
    if (reply.rfind("OK", 0) != 0) {
        ADD_FAILURE() << "the host refused " << line.substr(0, 30) << ": " << reply;
        return {};
    }
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void HostLink::send(int port, std::string_view bytes) {
    static const char* kHex = "0123456789abcdef";
    std::string line = "SEND " + std::to_string(port) + " ";
    for (char b : bytes) {
        const auto v = static_cast<unsigned char>(b);
        line += kHex[v >> 4];
        line += kHex[v & 15];
    }
    command(line);
}

void HostLink::sendBreak(int port) {
    command("BREAK " + std::to_string(port));
}

void HostLink::setLines(const std::string& names) {
    command("LINES " + (names.empty() ? std::string("none") : names));
}

void HostLink::pulse(const std::string& names, int ms) {
    command("PULSE " + std::to_string(ms) + " " + names);
}

std::string HostLink::controlLines() {
    return command("CONTROL");
}

void HostLink::unplug() {
    command("UNPLUG");
}
