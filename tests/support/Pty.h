// A pseudo-terminal pair for tests: the far side (master) is the analyser's end of the
// line; the port under test opens the near side by its path.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

class Pty {
public:
    Pty() {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) < 0) {
            throw std::runtime_error("openpty failed");
        }
        ::close(slave);
        m_path = name;
    }
    ~Pty() { closeFarSide(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& path() const { return m_path; }
    int master() const { return m_master; }

    void send(std::string_view bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                throw std::runtime_error("write to pty failed");
            }
            done += static_cast<std::size_t>(n);
        }
    }

    void closeFarSide() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    int m_master = -1;
    std::string m_path;
};

// Waits, up to a generous limit, until `done` holds; the pty hands bytes over
// asynchronously, so a test waits for them rather than sleeping a fixed time.
inline bool eventually(const std::function<bool()>& done, int limitMs = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline int openDescriptorCount() {
    int count = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) {
            ++count;
        }
    }
    return count;
}

// Sends as a 9600 bit/s line with ten bit times a character would.
inline void sendPaced(const Pty& pty, std::string_view bytes) {
    using Clock = std::chrono::steady_clock;
    const auto perByte = std::chrono::nanoseconds(1'000'000'000LL * 10 / 9600);
    auto next = Clock::now();
    for (char c : bytes) {
        std::this_thread::sleep_until(next);
        pty.send(std::string_view(&c, 1));
        next += perByte;
    }
}
