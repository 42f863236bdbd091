// The built program end to end: a pseudo-terminal as COM3 fed by the analyser simulator,
// the uploader stand-in, and a real X display (Xvfb) where a user's view matters.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QImage>
#include <QRect>

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
    void signal(int number) const {
        if (m_pid > 0) {
            ::kill(m_pid, number);
        }
    }
    // How it ended: its exit code, or 128 + the signal that ended it; -1 while it runs.
    int endStatus(int limitMs) {
        eventually([&] { return !running(); }, limitMs);
        if (m_pid >= 0) {
            return -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
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
    // The program's main window once it is shown, or "".
    std::string mainWindow() const {
        std::string ids;
        eventually([&] { return !(ids = windows("Dorvik Selto")).empty(); }, 10000);
        return ids.substr(0, ids.find('\n'));
    }
    // What the window shows on the display now.
    QImage grab(const std::string& id) const {
        const std::string file = dir + "/grab.png";
        std::remove(file.c_str());
        output("DISPLAY=" + display + " " + kBin + "/grab-window " + id + " " + file +
               " 2>/dev/null");
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    }
    // The pages as the program draws them off screen with the port closed (page1.png) and
    // open (page1-open.png), and with lines on its screens (page2.png).
    QImage reference(const std::string& name) {
        const std::string folder = dir + "/reference";
        if (::access((folder + "/page1.png").c_str(), F_OK) != 0) {
            output("QT_QPA_PLATFORM=offscreen " + kBin + "/screenshot-pages " + folder +
                   " >/dev/null 2>&1");
        }
        return QImage(QString::fromStdString(folder + "/" + name))
            .convertToFormat(QImage::Format_RGB32);
    }
    void click(const std::string& id, int x, int y) const {
        output("DISPLAY=" + display + " xdotool windowfocus --sync " + id + " mousemove --window " +
               id + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    }
    void showPage(const std::string& id, int page) const { click(id, kTabX[page - 1], 11); }
    // The host screen's text as a user takes it: a click into it, Ctrl+A, Ctrl+C.
    std::string hostText(const std::string& id) const {
        showPage(id, 2);
        click(id, 200, 150);
        output("DISPLAY=" + display + " xdotool key --window " + id + " ctrl+a ctrl+c");
        return output("DISPLAY=" + display +
                      " timeout 5 xclip -o -selection clipboard 2>/dev/null");
    }
    // What a user sees of a port that did not open: its name on the first page, both lamps
    // closed, an empty host screen, no message box.
    void expectClosedAndSilent(const std::string& id) {
        EXPECT_TRUE(windows("Brelvo Teknoloji").empty());
        showPage(id, 1);
        const QImage page1 = grab(id);
        // lbl1 with the port's name, ComLed2 and ComLed3 above lbl2.
        const QRect labelAndLamps(2, 24, 56, 62);
        EXPECT_EQ(differingPixels(page1, reference("page1.png"), labelAndLamps), 0);
        EXPECT_GT(differingPixels(page1, reference("page1-open.png"), labelAndLamps), 100);
        showPage(id, 2);
        // The host screen's text area, left of its button: black only.
        const QRect hostText(4, 26, 390, 225);
        EXPECT_EQ(nonBlackPixels(grab(id), hostText), 0);
        EXPECT_GT(nonBlackPixels(reference("page2.png"), hostText), 100);
        showPage(id, 1);
    }
    // Pixels that differ more than the background's scaling to a slightly other page size
    // makes them differ (the off-screen platform's window has a frame of its own).
    static int differingPixels(const QImage& a, const QImage& b, const QRect& area) {
        if (!a.rect().contains(area) || !b.rect().contains(area)) {
            return -1;
        }
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                count += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                             std::abs(qBlue(p) - qBlue(q)) >
                         24;
            }
        }
        return count;
    }
    static int nonBlackPixels(const QImage& image, const QRect& area) {
        if (!image.rect().contains(area)) {
            return -1;
        }
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                count += (image.pixel(x, y) & 0xFFFFFFu) != 0;
            }
        }
        return count;
    }

    // Where the three tabs are, across their row.
    static constexpr int kTabX[3] = {70, 180, 246};

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
    const std::string id = mainWindow();
    ASSERT_FALSE(id.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(program->running());
    expectClosedAndSilent(id);
    EXPECT_TRUE(readUploads(log).empty());
}

// A terminal program (minicom, cu) holds COM3 and says so with its lock file: the program
// leaves the port to it, as with a missing port.
TEST_F(Program, WithThePortHeldByAnotherProgramItRunsClosedAndSaysNothing) {
    Pty line;
    const std::string name = line.path().substr(line.path().rfind('/') + 1);
    const std::string lock = "/run/lock/LCK..pts_" + name;
    if (::access("/run/lock", W_OK) != 0) {
        GTEST_SKIP() << "/run/lock cannot be written here";
    }
    Process holder(
        {"/bin/sh", "-c", "printf '%10d\\n' $$ > " + lock + " && exec sleep 120 < " + line.path()},
        {});
    ASSERT_TRUE(eventually([&] { return ::access(lock.c_str(), F_OK) == 0; }));
    auto program = startProgram(line.path());
    const std::string id = mainWindow();
    ASSERT_FALSE(id.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(program->running());
    expectClosedAndSilent(id);
    line.send("  \r\n\r\n  HELD1\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(readUploads(log).empty());
    // The holder's lock is left as it was.
    std::ifstream file(lock);
    int pid = 0;
    file >> pid;
    EXPECT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0);
    holder.kill();
    std::remove(lock.c_str());
}

// The analyser's adapter unplugged and plugged in again: the port opens again by itself,
// the host screen says so, and the next block's eighteen uploads arrive.
TEST_F(Program, TheDeviceGoneAndBackThePortOpensAgainAndTheNextBlockGetsThrough) {
    const std::string com3 = dir + "/com3";  // the adapter's name, as udev makes it
    auto plugIn = [&](const std::string& barcode) {
        const std::string far = dir + "/far-" + barcode;
        auto sim = std::make_unique<Process>(
            std::vector<std::string>{kBin + "/analyser-sim", "--pty", far, "--blocks", "1", "--gap",
                                     "1", "--barcode", barcode},
            std::vector<std::string>{});
        eventually([&] { return ::access(far.c_str(), F_OK) == 0; });
        std::string device;
        std::ifstream(far) >> device;
        ::unlink(com3.c_str());
        EXPECT_EQ(::symlink(device.c_str(), com3.c_str()), 0);
        return sim;
    };
    auto analyser = plugIn("PLUG1");
    auto program = startProgram(com3);
    const std::string id = mainWindow();
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(eventually([&] { return readUploads(log).size() == 18; }, 20000));

    analyser.reset();  // unplugged: the device and its name go
    ::unlink(com3.c_str());
    const std::string lost = "Port kapand\xC4\xB1: cihaz ba\xC4\x9Flant\xC4\xB1s\xC4\xB1 kesildi.";
    EXPECT_TRUE(eventually([&] { return hostText(id).find(lost) != std::string::npos; }, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));

    analyser = plugIn("PLUG2");
    ASSERT_TRUE(eventually([&] { return readUploads(log).size() == 36; }, 20000))
        << readUploads(log).size() << " uploads";
    const std::vector<Upload> uploads = readUploads(log);
    for (std::size_t i = 18; i < uploads.size(); ++i) {
        EXPECT_EQ(uploads[i].at(2), "PLUG2");
    }
    const std::string host = hostText(id);
    const auto lostAt = host.find(lost);
    const auto backAt = host.find("Port yeniden a\xC3\xA7\xC4\xB1ld\xC4\xB1.\n");
    ASSERT_NE(lostAt, std::string::npos) << host;
    ASSERT_NE(backAt, std::string::npos) << host;
    EXPECT_LT(lostAt, backAt);
    EXPECT_NE(host.find("PLUG2 Barkod Nolu Hasta Sonucu Geliyor!", backAt), std::string::npos);
    EXPECT_TRUE(program->running());
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

// Under a window manager: the frame it puts around the window (left, right, top, bottom) and
// the window's client area and place on the screen.
struct Framed {
    int left = 0, right = 0, top = 0, bottom = 0, x = 0, y = 0, width = 0, height = 0;
};

class ProgramUnderAWindowManager : public Program {
protected:
    // Starts openbox and waits until it has announced what it supports.
    std::unique_ptr<Process> startManager() {
        auto manager = std::make_unique<Process>(std::vector<std::string>{"/usr/bin/openbox"},
                                                 std::vector<std::string>{"DISPLAY=" + display});
        EXPECT_TRUE(eventually(
            [&] {
                return output("DISPLAY=" + display + " xprop -root _NET_SUPPORTED")
                           .find("_NET_FRAME_EXTENTS") != std::string::npos;
            },
            20000))
            << "openbox did not take the display";
        return manager;
    }
    // The window's frame and place, once the manager has framed it (top > 0).
    bool readFramed(const std::string& id, Framed& g) const {
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
        return g.top > 0;
    }
    // The outer size is the stored 453 x 408, the frame centred on the 1024 x 768 screen to
    // the pixel.
    void expectStoredOuterSizeCentred(const std::string& id) const {
        Framed g;
        EXPECT_TRUE(eventually(
            [&] {
                return readFramed(id, g) && g.width + g.left + g.right == 453 &&
                       g.height + g.top + g.bottom == 408 &&
                       std::abs(g.x - g.left - (1024 - 453) / 2) <= 1 &&
                       std::abs(g.y - g.top - (768 - 408) / 2) <= 1;
            },
            10000))
            << "client " << g.width << "x" << g.height << " at " << g.x << "," << g.y << ", frame "
            << g.left << "," << g.right << "," << g.top << "," << g.bottom;
    }
};

// On a desktop with a window manager, whose frame becomes known only after the window was
// first shown: the outer size is still the stored one, centred on the screen.
TEST_F(ProgramUnderAWindowManager, TheOuterSizeIsStoredAndCentred) {
    auto manager = startManager();  // the desktop is there before the program, as at a log-in
    Pty line;
    auto program = startProgram(line.path());
    const std::string id = mainWindow();
    ASSERT_FALSE(id.empty()) << "no window of the program under openbox";
    expectStoredOuterSizeCentred(id);
}

// A program started with the desktop can be up before its window manager: the manager then
// frames a window that is already shown, and the program learns of the frame only from the
// window's frame property.
TEST_F(ProgramUnderAWindowManager, AManagerStartedAfterTheProgramFramesItAtTheStoredSize) {
    Pty line;
    auto program = startProgram(line.path());
    const std::string id = mainWindow();
    ASSERT_FALSE(id.empty()) << "no window of the program";
    auto manager = startManager();
    expectStoredOuterSizeCentred(id);
}

// A log-out, a shutdown or a kill while a block is on its way: the block is forwarded whole
// (all eighteen launches), then the program ends with 0 as closing its window ends it.
TEST_F(Program, AskedToEndDuringABlockItForwardsTheBlockAndEndsWithZero) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        std::remove(log.c_str());
        Pty line;
        auto program = startProgram(line.path());
        ASSERT_TRUE(eventually([&] { return !windows("Dorvik Selto").empty(); }, 10000));
        line.send("  \r\n\r\n  SIG" + std::to_string(signal) + "\r\n");
        // Inside the block's wait for the rest of its lines.
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        program->signal(signal);
        EXPECT_EQ(program->endStatus(15000), 0);
        eventually([&] { return readUploads(log).size() >= 18; });
        const std::vector<Upload> uploads = readUploads(log);
        EXPECT_EQ(uploads.size(), 18u);
        for (const Upload& upload : uploads) {
            EXPECT_EQ(upload.at(2), "SIG" + std::to_string(signal));
        }
    }
}

}  // namespace
