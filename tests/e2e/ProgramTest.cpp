// The built program end to end: a pseudo-terminal as COM3 fed by the analyser simulator,
// the uploader stand-in, and a real X display (Xvfb) where a user's view matters.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/Pty.h"
#include "support/Uploads.h"

namespace {

const std::string kBin = BIN_DIR;

// A child process with its own environment additions.
class Process {
public:
    Process(std::vector<std::string> argv, std::vector<std::string> env) {
        m_pid = ::fork();
        if (m_pid == 0) {
            // Dies with the test, however the test ends (a time-out kills it outright).
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            for (const std::string& e : env) {
                ::putenv(const_cast<char*>(e.c_str()));
            }
            std::vector<char*> args;
            for (std::string& a : argv) {
                args.push_back(a.data());
            }
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Process() { kill(); }
    bool running() {
        if (m_pid <= 0) {
            return false;
        }
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_status = status;
            m_pid = -1;
            return false;
        }
        return true;
    }
    // Exit code once it has ended by itself within the limit, or -1.
    int waitExit(int limitMs) {
        eventually([&] { return !running(); }, limitMs);
        return m_pid < 0 && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    void kill() {
        if (running()) {
            ::kill(m_pid, SIGTERM);
            if (waitExit(3000) < 0 && running()) {
                ::kill(m_pid, SIGKILL);
                waitExit(3000);
            }
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

std::string output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) {
            out += buffer;
        }
        ::pclose(p);
    }
    return out;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tag = std::to_string(::getpid());
        dir = ::testing::TempDir() + "e2e-" + tag;
        ::mkdir(dir.c_str(), 0700);
        log = dir + "/uploads.log";
        std::remove(log.c_str());
        // A display of our own for the test: a number nobody holds, and a server that
        // answers before the program is started on it.
        for (int attempt = 0; attempt < 20 && display.empty(); ++attempt) {
            const std::string candidate =
                ":" + std::to_string(100 + (::getpid() * 7 + attempt * 37) % 800);
            xvfb = std::make_unique<Process>(
                std::vector<std::string>{"/usr/bin/Xvfb", candidate, "-noreset", "-nolisten", "tcp",
                                         "-screen", "0", "1024x768x24"},
                std::vector<std::string>{});
            const bool answers = eventually(
                [&] {
                    return !xvfb->running() ||
                           std::system(
                               ("xdpyinfo -display " + candidate + " >/dev/null 2>&1").c_str()) ==
                               0;
                },
                10000);
            if (answers && xvfb->running()) {
                display = candidate;
            }
        }
        ASSERT_FALSE(display.empty()) << "no Xvfb display could be started";
    }
    void TearDown() override {
        xvfb.reset();
        std::system(("rm -rf " + dir).c_str());
    }
    std::vector<std::string> programEnv(const std::string& com3) const {
        return {"DISPLAY=" + display,        "QT_QPA_PLATFORM=xcb",
                "CPORT_DEVICE_COM3=" + com3, "DORVIK_SELTO_UPLOADER=" + kBin + "/uploader-stub",
                "UPLOADER_STUB_LOG=" + log,  "LANG=C.UTF-8"};
    }
    std::unique_ptr<Process> startProgram(const std::string& com3) const {
        return std::make_unique<Process>(std::vector<std::string>{kBin + "/dorvik-selto"},
                                         programEnv(com3));
    }
    // The ids of the mapped windows whose title matches, one a line.
    std::string windows(const std::string& name) const {
        return output("DISPLAY=" + display + " xdotool search --onlyvisible --name '" + name +
                      "' 2>/dev/null");
    }

    std::string dir;
    std::string log;
    std::string display;
    std::unique_ptr<Process> xvfb;
};

TEST_F(Program, BlocksFromTheSimulatorBecomeTheRecordedUploads) {
    const std::string link = dir + "/com3.link";
    Process sim({kBin + "/analyser-sim", "--pty", link, "--blocks", "2", "--gap", "3.5",
                 "--barcode", "E2E9"},
                {});
    ASSERT_TRUE(eventually([&] { return ::access(link.c_str(), F_OK) == 0; }));
    std::string com3;
    std::ifstream(link) >> com3;
    auto program = startProgram(com3);
    ASSERT_TRUE(eventually([&] { return readUploads(log).size() == 36; }, 30000))
        << readUploads(log).size() << " uploads";
    EXPECT_TRUE(program->running());
    for (const Upload& upload : readUploads(log)) {
        ASSERT_EQ(upload.size(), 5u);
        EXPECT_EQ(upload[0], "https://isg.brelvo.com.tr/");
        EXPECT_EQ(upload[1], "LabSonuc");
        EXPECT_EQ(upload[2], "E2E9");
        EXPECT_GE(std::stoi(upload[3]), 37);
        EXPECT_LE(std::stoi(upload[3]), 54);
        EXPECT_FALSE(upload[4].empty());
        EXPECT_EQ(upload[4].find('.'), std::string::npos);
    }
}

TEST_F(Program, WithThePortMissingItRunsClosedAndSaysNothing) {
    auto program = startProgram("/dev/no-such-com3");
    ASSERT_TRUE(eventually([&] { return !windows("Dorvik Selto").empty(); }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(program->running());
    EXPECT_TRUE(windows("Brelvo Teknoloji").empty());
    EXPECT_TRUE(readUploads(log).empty());
}

TEST_F(Program, ASecondCopyIsRefusedAndEndsWithZeroAfterOk) {
    Pty line;
    auto first = startProgram(line.path());
    ASSERT_TRUE(eventually([&] { return !windows("Dorvik Selto").empty(); }, 10000));
    auto second = startProgram(line.path());
    std::string box;
    ASSERT_TRUE(eventually([&] { return !(box = windows("Brelvo Teknoloji")).empty(); }, 10000));
    // Its own window never appears: only the first copy's is there.
    const std::string mains = windows("Dorvik Selto");
    EXPECT_EQ(std::count(mains.begin(), mains.end(), '\n'), 1) << mains;
    // The user presses Enter in the box (no window manager here: focus it directly).
    const std::string id = box.substr(0, box.find('\n'));
    output("DISPLAY=" + display + " xdotool windowfocus --sync " + id + " key Return");
    EXPECT_EQ(second->waitExit(10000), 0);
    // The first copy goes on: it still takes a block.
    EXPECT_TRUE(first->running());
    line.send("  \r\n\r\n  AFTER1\r\n");
    EXPECT_TRUE(eventually([&] { return readUploads(log).size() == 18; }, 15000));

    // Once the first has ended, a new copy starts normally.
    first->kill();
    auto third = startProgram(line.path());
    ASSERT_TRUE(eventually([&] { return !windows("Dorvik Selto").empty(); }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(third->running());
    EXPECT_TRUE(windows("Brelvo Teknoloji").empty());
}

// The program takes no option: what Qt would act on (another platform plugin, a style, a
// mirrored layout) changes nothing, and the window comes up on the display as always.
TEST_F(Program, CommandLineOptionsAreNotActedOn) {
    Pty line;
    Process program({kBin + "/dorvik-selto", "-platform", "no-such-platform", "-style",
                     "no-such-style", "-reverse"},
                    programEnv(line.path()));
    EXPECT_TRUE(eventually([&] { return !windows("Dorvik Selto").empty(); }, 10000));
    EXPECT_TRUE(program.running());
}

// On a desktop with a window manager, whose frame becomes known only after the window was
// first shown: the outer size is still the stored one, centred on the screen.
TEST_F(Program, WithAWindowManagerTheOuterSizeIsStoredAndCentred) {
    Process manager({"/usr/bin/openbox"}, {"DISPLAY=" + display});
    // The desktop is there before the program starts, as at a log-in.
    ASSERT_TRUE(eventually(
        [&] {
            return output("DISPLAY=" + display + " xprop -root _NET_SUPPORTING_WM_CHECK")
                       .find("window id") != std::string::npos;
        },
        10000));
    Pty line;
    auto program = startProgram(line.path());
    std::string id;
    ASSERT_TRUE(eventually([&] { return !(id = windows("Dorvik Selto")).empty(); }, 10000));
    id = id.substr(0, id.find('\n'));
    struct Geometry {
        int left = 0, right = 0, top = 0, bottom = 0, x = 0, y = 0, width = 0, height = 0;
    } g;
    auto read = [&] {
        const std::string extents =
            output("DISPLAY=" + display + " xprop -id " + id + " _NET_FRAME_EXTENTS");
        const std::string info = output("DISPLAY=" + display + " xwininfo -id " + id);
        auto number = [&](const std::string& text, const std::string& key) {
            const auto at = text.find(key);
            return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size());
        };
        if (std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &g.left,
                        &g.right, &g.top, &g.bottom) != 4) {
            return false;
        }
        g.x = number(info, "Absolute upper-left X:");
        g.y = number(info, "Absolute upper-left Y:");
        g.width = number(info, "Width:");
        g.height = number(info, "Height:");
        return g.top > 0 && g.width + g.left + g.right == 453 && g.height + g.top + g.bottom == 408;
    };
    EXPECT_TRUE(eventually(read, 10000))
        << "client " << g.width << "x" << g.height << ", frame " << g.left << "," << g.right << ","
        << g.top << "," << g.bottom;
    // The frame's place on the 1024 x 768 screen, centred to the pixel.
    EXPECT_NEAR(g.x - g.left, (1024 - 453) / 2, 1);
    EXPECT_NEAR(g.y - g.top, (768 - 408) / 2, 1);
}

}  // namespace
