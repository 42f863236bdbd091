#include "windows/FarSide.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

SOCKET connectToHelper() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const char* port = std::getenv("PTY_HELPER_PORT");
    if (!started || !port || !*port) {
        throw std::runtime_error(
            "no far side: PTY_HELPER_PORT is not set (run through scripts/wine-tests.sh)");
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(std::atoi(port)));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot reach the far side on port " + std::string(port));
    }
    return s;
}

}  // namespace

FarSide::FarSide() : m_socket(connectToHelper()) {
    command("RESET");
}

FarSide::~FarSide() {
    ::closesocket(static_cast<SOCKET>(m_socket));
}

std::string FarSide::command(const std::string& line) {
    const std::string out = line + "\n";
    const SOCKET s = static_cast<SOCKET>(m_socket);
    for (std::size_t done = 0; done < out.size();) {
        const int n = ::send(s, out.data() + done, static_cast<int>(out.size() - done), 0);
        if (n <= 0) {
            throw std::runtime_error("far side gone while sending " + line.substr(0, 20));
        }
        done += static_cast<std::size_t>(n);
    }
    std::string reply;
    char c = 0;
    while (::recv(s, &c, 1, 0) == 1 && c != '\n') {
        reply += c;
    }
    if (reply.rfind("OK", 0) != 0) {
        throw std::runtime_error("far side refused " + line.substr(0, 20) + ": " + reply);
    }
    return reply.size() > 3 ? reply.substr(3) : std::string();
}

void FarSide::send(std::string_view bytes, int charactersPerSecond) {
    static const char* kHex = "0123456789abcdef";
    std::string line = "SEND ";
    for (char b : bytes) {
        const auto v = static_cast<unsigned char>(b);
        line += kHex[v >> 4];
        line += kHex[v & 15];
    }
    if (charactersPerSecond > 0) {
        line += " " + std::to_string(charactersPerSecond);
    }
    command(line);
}

void FarSide::setLines(const std::string& names) {
    command("LINES " + names);
}

void FarSide::hangUp() {
    command("HANGUP");
}

void FarSide::remove() {
    command("REMOVE");
}

FarSide::Settings FarSide::settings() {
    std::istringstream in(command("SETTINGS"));
    Settings s;
    in >> s.ispeed >> s.ospeed >> s.cflag >> s.iflag >> s.lflag;
    return s;
}
