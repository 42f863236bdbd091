// Shows the serial component on a pseudo-terminal: opens the port on one side, lets the
// other side send a few lines as an analyser would, and prints what the port reads.
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "serial/CPort.h"

namespace {

std::string spelled(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') {
            out += "<CR>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c < 32) {
            out += "<" + std::to_string(c) + ">";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

int main() {
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) < 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);  // the port opens the device itself
    std::printf("pseudo-terminal %s stands in for the analyser's line\n", name);

    try {
        TComPort port(nullptr);
        port.SetPort(name);
        port.SetBuffer([] {
            TComBuffer b;
            b.SetInputSize(4096);
            b.SetOutputSize(4096);
            return b;
        }());
        port.SetConnected(true);
        std::printf("port open: %s, %d bytes waiting\n", port.Port().c_str(),
                    port.WaitingInputCount());

        const std::string block =
            "DORVIK SELTO\r\n\r\n   A1234   \r\n\r\n WBC   5.6  \r\n LYM#  1.9 \r\n";
        if (::write(master, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::perror("write");
            return 1;
        }
        for (int i = 0; i < 200 && port.WaitingInputCount() < static_cast<int>(block.size()); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::string text;
        const int count = port.ReadText(text, 10000);
        std::printf("read %d bytes: %s\n", count, spelled(text).c_str());
        std::printf("read again: %d bytes\n", port.ReadText(text, 10000));
        port.SetConnected(false);
        std::printf("port closed\n");

        port.SetPort("/dev/no-such-port");
        try {
            port.SetConnected(true);
        } catch (const EComPort& e) {
            std::printf("opening a missing port: code %d, \"%s\"\n", e.ErrorNumber(), e.what());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "demo failed: %s\n", e.what());
        return 1;
    }
    ::close(master);
    return 0;
}
