// The host side of the UART rig: starts QEMU with the guest's serial back ends, plays the far
// side of each port on the guest's request, and passes the guest's console through.
//
//   uart-vm-host --kernel FILE --initrd FILE --shim FILE [--qemu PROGRAM]
//
// Guest ports: ttyS0 the console (this program's standard output), ttyS1 a telnet socket
// (data, and a break as IAC BRK), ttyS2 a pseudo-terminal seen through the shim, whose
// modem lines this program sets and whose DTR/RTS it reads back, ttyS3 the control line,
// ttyS4 a hot-pluggable PCI card. Control commands, one a line, each answered "OK [...]" or
// "ERR reason": SEND port hex, BREAK 1, LINES names|none, PULSE ms names, CONTROL, UNPLUG.
// Exits with the guest's test result: 0 when its suite passed.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string kernel, initrd, shim, qemu = "qemu-system-x86_64";
};

void die(const std::string& what) {
    std::fprintf(stderr, "uart-vm-host: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(2);
}

bool writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Connects to a socket QEMU listens on, once it is there.
int connectUnix(const std::string& path) {
    for (int attempt = 0; attempt < 300; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            return fd;
        }
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    die("cannot reach " + path);
    return -1;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

int lineMask(std::istringstream& words) {
    int mask = 0;
    std::string name;
    while (words >> name) {
        if (name == "CTS") {
            mask |= TIOCM_CTS;
        } else if (name == "DSR") {
            mask |= TIOCM_DSR;
        } else if (name == "RLSD") {
            mask |= TIOCM_CAR;
        } else if (name == "RING") {
            mask |= TIOCM_RNG;
        }
    }
    return mask;
}

class Rig {
public:
    explicit Rig(const Options& o) : m_options(o) {
        char folder[] = "/tmp/uart-rig.XXXXXX";
        if (!::mkdtemp(folder)) {
            die("mkdtemp");
        }
        m_dir = folder;
        m_linesFile = m_dir + "/lines";
        m_controlFile = m_dir + "/control";
        writeLines(0);
        int slave = -1;
        char name[128] = {};
        if (::openpty(&m_modemMaster, &slave, name, nullptr, nullptr) < 0) {
            die("openpty");
        }
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);  // QEMU opens it by name
        m_modemPath = name;
        ::fcntl(m_modemMaster, F_SETFL, ::fcntl(m_modemMaster, F_GETFL) | O_NONBLOCK);
    }
    ~Rig() {
        if (m_qemu > 0) {
            ::kill(m_qemu, SIGKILL);
            ::waitpid(m_qemu, nullptr, 0);
        }
        std::system(("rm -rf " + m_dir).c_str());
    }

    int run() {
        startQemu();
        m_data = connectUnix(m_dir + "/data.sock");
        m_control = connectUnix(m_dir + "/control.sock");
        m_qmp = connectUnix(m_dir + "/qmp.sock");
        qmp(R"({"execute":"qmp_capabilities"})");
        std::string controlIn;
        for (;;) {
            pollfd fds[4] = {{m_console, POLLIN, 0},
                             {m_control, POLLIN, 0},
                             {m_data, POLLIN, 0},
                             {m_modemMaster, POLLIN, 0}};
            if (::poll(fds, 4, 200) < 0 && errno != EINTR) {
                die("poll");
            }
            if (fds[0].revents & (POLLIN | POLLHUP)) {
                if (!passConsole()) {
                    break;  // the guest powered off
                }
            }
            if (fds[1].revents & POLLIN) {
                char buffer[65536];
                const ssize_t n = ::read(m_control, buffer, sizeof buffer);
                if (n > 0) {
                    controlIn.append(buffer, static_cast<std::size_t>(n));
                }
                for (std::size_t end; (end = controlIn.find('\n')) != std::string::npos;) {
                    const std::string line = controlIn.substr(0, end);
                    controlIn.erase(0, end + 1);
                    writeAll(m_control, answer(line) + "\n");
                }
            }
            char sink[4096];
            if (fds[2].revents & POLLIN) {
                [[maybe_unused]] const ssize_t n = ::read(m_data, sink, sizeof sink);
            }
            if (fds[3].revents & POLLIN) {
                [[maybe_unused]] const ssize_t n = ::read(m_modemMaster, sink, sizeof sink);
            }
        }
        int status = 0;
        ::waitpid(m_qemu, &status, 0);
        m_qemu = -1;
        return m_result;
    }

private:
    void startQemu() {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) < 0) {
            die("pipe");
        }
        const std::string sock = m_dir + "/";
        std::vector<std::string> args = {
            m_options.qemu,
            "-m",
            "256",
            "-nographic",
            "-nodefaults",
            "-no-reboot",
            "-kernel",
            m_options.kernel,
            "-initrd",
            m_options.initrd,
            "-append",
            "console=ttyS0 quiet panic=-1 8250.nr_uarts=5",
            "-serial",
            "stdio",
            "-chardev",
            "socket,id=data,path=" + sock + "data.sock,server=on,wait=off,telnet=on",
            "-serial",
            "chardev:data",
            "-chardev",
            "serial,id=modem,path=" + m_modemPath,
            "-serial",
            "chardev:modem",
            "-chardev",
            "socket,id=ctl,path=" + sock + "control.sock,server=on,wait=off",
            "-serial",
            "chardev:ctl",
            "-chardev",
            "null,id=hotline",
            "-device",
            "pci-serial,id=hot,chardev=hotline",
            "-qmp",
            "unix:" + sock + "qmp.sock,server=on,wait=off",
        };
        m_qemu = ::fork();
        if (m_qemu < 0) {
            die("fork");
        }
        if (m_qemu == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            const int none = ::open("/dev/null", O_RDONLY);
            ::dup2(none, STDIN_FILENO);
            ::setenv("LD_PRELOAD", m_options.shim.c_str(), 1);
            ::setenv("PTY_SHIM_LINES", m_linesFile.c_str(), 1);
            ::setenv("PTY_SHIM_CONTROL", m_controlFile.c_str(), 1);
            std::vector<char*> argv;
            for (std::string& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_console = out[0];
    }

    // Passes the console through line by line and takes the suite's result from it.
    bool passConsole() {
        char buffer[4096];
        const ssize_t n = ::read(m_console, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        std::fwrite(buffer, 1, static_cast<std::size_t>(n), stdout);
        std::fflush(stdout);
        m_consoleText.append(buffer, static_cast<std::size_t>(n));
        const auto at = m_consoleText.find("UART-TESTS-EXIT ");
        if (at != std::string::npos && m_consoleText.find('\n', at) != std::string::npos) {
            m_result = std::atoi(m_consoleText.c_str() + at + 16);
        }
        return true;
    }

    std::string answer(const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "SEND") {
            int port = 0;
            std::string hex;
            words >> port >> hex;
            std::string bytes = fromHex(hex);
            if (port == 1) {
                // Telnet: a data byte 0xFF goes doubled.
                std::string escaped;
                for (char c : bytes) {
                    escaped += c;
                    if (c == '\xFF') {
                        escaped += c;
                    }
                }
                return writeAll(m_data, escaped) ? "OK" : "ERR send";
            }
            if (port == 2) {
                return writeAll(m_modemMaster, bytes) ? "OK" : "ERR send";
            }
            return "ERR no such port";
        }
        if (verb == "BREAK") {
            return writeAll(m_data, std::string("\xFF\xF3", 2)) ? "OK" : "ERR break";
        }
        if (verb == "LINES") {
            writeLines(lineMask(words));
            return "OK";
        }
        if (verb == "PULSE") {
            int ms = 0;
            words >> ms;
            writeLines(lineMask(words));
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            writeLines(0);
            return "OK";
        }
        if (verb == "CONTROL") {
            int mask = 0;
            std::ifstream(m_controlFile) >> mask;
            std::string names;
            if (mask & TIOCM_DTR) {
                names += "DTR";
            }
            if (mask & TIOCM_RTS) {
                names += names.empty() ? "RTS" : " RTS";
            }
            return names.empty() ? "OK" : "OK " + names;
        }
        if (verb == "UNPLUG") {
            qmp(R"({"execute":"device_del","arguments":{"id":"hot"}})");
            return "OK";
        }
        return "ERR unknown command " + verb;
    }

    void writeLines(int mask) {
        const std::string tmp = m_linesFile + ".tmp";
        std::ofstream(tmp) << mask << "\n";
        std::rename(tmp.c_str(), m_linesFile.c_str());
    }

    // One QMP command and its answer (events that come first are skipped).
    void qmp(const std::string& command) {
        writeAll(m_qmp, command + "\n");
        std::string in;
        char c = 0;
        for (;;) {
            if (::read(m_qmp, &c, 1) != 1) {
                return;
            }
            in += c;
            if (c == '\n') {
                if (in.find("\"return\"") != std::string::npos ||
                    in.find("\"error\"") != std::string::npos) {
                    return;
                }
                in.clear();
            }
        }
    }

    Options m_options;
    std::string m_dir, m_linesFile, m_controlFile, m_modemPath, m_consoleText;
    int m_modemMaster = -1, m_console = -1, m_data = -1, m_control = -1, m_qmp = -1;
    pid_t m_qemu = -1;
    int m_result = 1;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--kernel") {
            o.kernel = argv[i + 1];
        } else if (a == "--initrd") {
            o.initrd = argv[i + 1];
        } else if (a == "--shim") {
            o.shim = argv[i + 1];
        } else if (a == "--qemu") {
            o.qemu = argv[i + 1];
        }
    }
    if (o.kernel.empty() || o.initrd.empty() || o.shim.empty()) {
        std::fprintf(stderr, "usage: uart-vm-host --kernel F --initrd F --shim F [--qemu P]\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);
    Rig rig(o);
    return rig.run();
}
