// Start-up and memory of the program beside a bare window of the same size, in one run, on
// the X display in DISPLAY (a virtual one: xvfb-run -a):
//   bench-startup [--runs N] [--blocks N]             the Linux program beside a bare Qt window
//   bench-startup --wine [--runs N] [--win-bin DIR]   the Windows program under Wine beside a
//                                                      bare Win32 window (DIR: build-mingw/bin)
// Start-up is the time from fork() to the X server's MapNotify of the program's window;
// resident memory is the process's VmRSS half a second after that, and with --blocks after
// that many result blocks from the analyser simulator (about 3 s a block).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string kBin = BIN_DIR;

struct Figures {
    std::vector<double> startMs;
    std::vector<long> rssKiB;
    long afterBlocksKiB = -1;
};

long residentOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            break;
        }
        status.ignore(1 << 16, '\n');
    }
    return value;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const std::string& e : env) {
            ::putenv(const_cast<char*>(e.c_str()));
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void end(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Milliseconds until a top-level window is mapped, or -1 after 30 s.
double untilMapped(xcb_connection_t* x, Clock::time_point started) {
    const auto deadline = started + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped) {
                return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long median(std::vector<long> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

Figures measure(xcb_connection_t* x, const std::vector<std::string>& argv,
                const std::vector<std::string>& env, int runs) {
    Figures f;
    for (int i = 0; i < runs; ++i) {
        xcb_flush(x);
        while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) {
            std::free(stale);
        }
        const auto started = Clock::now();
        const pid_t pid = spawn(argv, env);
        const double ms = untilMapped(x, started);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (ms >= 0) {
            f.startMs.push_back(ms);
            f.rssKiB.push_back(residentOf(pid));
        }
        end(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return f;
}

// The program once more, fed `blocks` blocks by the simulator: its memory afterwards.
long afterBlocks(const std::vector<std::string>& argv, std::vector<std::string> env,
                 const std::string& com3Env, int blocks) {
    char folder[] = "/tmp/bench-startup.XXXXXX";
    if (!::mkdtemp(folder)) {
        return -1;
    }
    const std::string link = std::string(folder) + "/com3";
    const pid_t sim = spawn(
        {kBin + "/analyser-sim", "--pty", link, "--blocks", std::to_string(blocks), "--gap", "1.6"},
        {});
    std::string device;
    for (int i = 0; i < 200 && device.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream(link) >> device;
    }
    env.push_back(com3Env + device);
    const pid_t program = spawn(argv, env);
    ::waitpid(sim, nullptr, 0);  // the simulator ends a few seconds after its last block
    const long kib = residentOf(program);
    end(program);
    std::system(("rm -rf " + std::string(folder)).c_str());
    return kib;
}

void print(const char* name, const Figures& f) {
    std::printf(
        "%-34s start to window: median %7.1f ms (min %7.1f, %zu runs)   resident: %6.1f MiB", name,
        median(f.startMs),
        f.startMs.empty() ? 0 : *std::min_element(f.startMs.begin(), f.startMs.end()),
        f.startMs.size(), static_cast<double>(median(f.rssKiB)) / 1024);
    if (f.afterBlocksKiB > 0) {
        std::printf("   after blocks: %6.1f MiB", static_cast<double>(f.afterBlocksKiB) / 1024);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    bool wine = false;
    std::string winBin = WIN_BIN_DIR;
    int runs = 10;
    int blocks = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--wine") {
            wine = true;
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (a == "--blocks" && i + 1 < argc) {
            blocks = std::atoi(argv[++i]);
        } else if (a == "--win-bin" && i + 1 < argc) {
            winBin = argv[++i];
        }
    }
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "bench-startup: no X display (run it under xvfb-run -a)\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    std::vector<std::string> program, bare, env;
    std::string com3Env;
    if (wine) {
        program = {"wine", winBin + "/dorvik-selto.exe"};
        bare = {"wine", winBin + "/bare-window.exe"};
        env = {"WINEDEBUG=-all"};
        com3Env = "BENCH_COM3=";  // Wine's COM3 is its dosdevices link, set by the caller
    } else {
        program = {kBin + "/dorvik-selto"};
        bare = {kBin + "/bare-window"};
        env = {"QT_QPA_PLATFORM=xcb", "DORVIK_SELTO_UPLOADER=" + kBin + "/uploader-stub",
               "UPLOADER_STUB_LOG=/dev/null"};
        com3Env = "CPORT_DEVICE_COM3=";
    }
    // Alternately, so that both meet the same machine.
    std::vector<std::string> programEnv = env;
    programEnv.push_back(com3Env + "/dev/no-such-com3");
    // On Linux also the bare window with one line of text: text is what sets up fontconfig
    // and Qt's font database, which the bare window never does.
    std::vector<std::string> labelled = bare;
    labelled.push_back("--label");
    auto add = [](Figures& into, const Figures& run) {
        into.startMs.insert(into.startMs.end(), run.startMs.begin(), run.startMs.end());
        into.rssKiB.insert(into.rssKiB.end(), run.rssKiB.begin(), run.rssKiB.end());
    };
    Figures ours, yardstick, withText;
    for (int i = 0; i < runs; ++i) {
        add(ours, measure(x, program, programEnv, 1));
        add(yardstick, measure(x, bare, env, 1));
        if (!wine) {
            add(withText, measure(x, labelled, env, 1));
        }
    }
    if (blocks > 0 && !wine) {
        ours.afterBlocksKiB = afterBlocks(program, env, com3Env, blocks);
    }
    print(wine ? "Windows program under Wine" : "dorvik-selto", ours);
    print(wine ? "bare Win32 window under Wine" : "bare Qt window", yardstick);
    auto ratios = [&](const char* what, const Figures& against) {
        std::printf("ratios to the %s: start-up %.2f x, resident memory %.2f x\n", what,
                    median(ours.startMs) / std::max(1e-9, median(against.startMs)),
                    static_cast<double>(median(ours.rssKiB)) /
                        static_cast<double>(std::max(1L, median(against.rssKiB))));
    };
    if (!wine) {
        print("bare Qt window + one label", withText);
    }
    ratios(wine ? "bare Win32 window" : "bare Qt window", yardstick);
    if (!wine) {
        ratios("bare Qt window with a label", withText);
    }
    xcb_disconnect(x);
    return 0;
}
