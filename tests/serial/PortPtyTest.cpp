// The port on real pseudo-terminals through the platform's own device layer.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "platform/LastError.h"
#include "platform/posix/LineSettings.h"
#include "platform/posix/UucpLock.h"
#include "serial/CPort.h"
#include "support/Pty.h"
#include "support/TtySettings.h"

namespace {

class PortOnPty : public ::testing::Test {
protected:
    PortOnPty() {
        port.SetPort(pty.path());
        port.SetEvents(TComEvents());
    }

    void waitQueued(int count) {
        ASSERT_TRUE(eventually([&] { return port.WaitingInputCount() >= count; }))
            << "only " << port.WaitingInputCount() << " of " << count << " bytes arrived";
    }

    Pty pty;
    TComPort port{nullptr};
};

TEST_F(PortOnPty, ReadTextReturnsExactlyWhatIsQueuedAtOnce) {
    port.SetConnected(true);
    const std::string block(
        "\x02"
        "A1234\r\n"
        "WBC\0  5.6\r\n"
        "\0\0"
        "RBC   4.81 H\r\n\x03",
        37);
    ASSERT_EQ(block.size(), 37u);
    pty.send(block);
    waitQueued(37);
    std::string text = "left over from before";
    EXPECT_EQ(port.ReadText(text, 10000), 37);
    EXPECT_EQ(text, block);
    EXPECT_EQ(port.ReadText(text, 10000), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_EQ(port.ReadText(text, -1), 0);
}

TEST_F(PortOnPty, EveryByteValueArrivesUnchanged) {
    // With parity checked and replaced the device layer has the tty mark line errors and
    // strips the marks itself; without, it reads the tty plain. Either way plain 0xFF and
    // 0x00 bytes must come through as they were sent.
    for (bool marked : {false, true}) {
        SCOPED_TRACE(marked ? "error marks" : "plain");
        Pty line;
        TComPort p(nullptr);
        p.SetPort(line.path());
        p.SetEvents(TComEvents());
        p.Parity().SetCheck(marked);
        p.Parity().SetReplace(marked);
        p.SetConnected(true);
        ASSERT_EQ((readTtySettings(line.master()).c_iflag & PARMRK) != 0, marked);
        std::string all;
        for (int i = 0; i < 256; ++i) {
            all += static_cast<char>(i);
        }
        all += "\xFF\xFF\xFF\x00\x00\xFF\x00";
        line.send(all);
        ASSERT_TRUE(
            eventually([&] { return p.WaitingInputCount() >= static_cast<int>(all.size()); }));
        std::string text;
        EXPECT_EQ(p.ReadText(text, 10000), static_cast<int>(all.size()));
        EXPECT_EQ(text, all);
    }
}

TEST_F(PortOnPty, EveryByteValueArrivesUnchangedWithTheProgramsSettings) {
    port.SetConnected(true);
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    all += "\xFF\xFF\xFF\x00\x00\xFF\x00";
    pty.send(all);
    waitQueued(static_cast<int>(all.size()));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10000), static_cast<int>(all.size()));
    EXPECT_EQ(text, all);
}

TEST_F(PortOnPty, DiscardNullDropsNulBytes) {
    port.SetDiscardNull(true);
    port.SetConnected(true);
    pty.send(std::string("a\0b\0\0c", 6));
    waitQueued(3);
    std::string text;
    port.ReadText(text, 100);
    EXPECT_EQ(text, "abc");
}

TEST_F(PortOnPty, ReadWaitsAsTheTimeoutsSay) {
    port.SetConnected(true);
    TComTimeouts t;
    t.SetReadInterval(0);
    t.SetReadTotalConstant(3000);
    port.SetTimeouts(t);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.send("0123456789");
    });
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 10);
    sender.join();
    EXPECT_EQ(text, "0123456789");

    // Fewer bytes than asked for: the total limit ends the read, which is no failure.
    t.SetReadTotalConstant(100);
    port.SetTimeouts(t);
    pty.send("abc");
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, "abc");
}

// The read-timeout rules, each with bytes that come in two goes: what the read returns
// shows which rule ended it.
TEST_F(PortOnPty, EachReadTimeoutRuleEndsTheReadWhereItSays) {
    struct Case {
        const char* rule;
        std::int32_t interval, multiplier, constant, count;
        std::string expected;
    };
    const Case cases[] = {
        // A gap of 100 ms after "ab" ends it before "cd" (700 ms later).
        {"interval gap", 100, 0, 0, 10, "ab"},
        // 4 x 100 ms in all: "ab" in time, "cd" not.
        {"multiplier", 0, 100, 0, 4, "ab"},
        // MAXDWORD, MAXDWORD, constant: back as soon as anything is there.
        {"first bytes", -1, -1, 5000, 10, "ab"},
        // A total too long for the clock is no limit, not one already past: the gap after
        // "cd" ends it.
        {"no overflow", 1000, -2, -2, 1'000'000, "abcd"},
    };
    port.SetConnected(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        TComTimeouts t;
        t.SetReadInterval(c.interval);
        t.SetReadTotalMultiplier(c.multiplier);
        t.SetReadTotalConstant(c.constant);
        port.SetTimeouts(t);
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pty.send("ab");
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            pty.send("cd");
        });
        std::string text;
        EXPECT_EQ(port.ReadText(text, c.count), static_cast<int>(c.expected.size()));
        EXPECT_EQ(text, c.expected);
        sender.join();
        TComTimeouts atOnce;  // what is left, read at once, for the next case
        atOnce.SetReadInterval(-1);
        atOnce.SetReadTotalMultiplier(0);
        atOnce.SetReadTotalConstant(0);
        port.SetTimeouts(atOnce);
        port.ReadText(text, 100);
    }
}

// The line hangs up while a read without any time limit waits: the read ends with what came.
TEST_F(PortOnPty, AHangUpEndsAPendingReadWithWhatCame) {
    port.SetConnected(true);
    TComTimeouts t;
    t.SetReadInterval(0);
    t.SetReadTotalMultiplier(0);
    t.SetReadTotalConstant(0);
    port.SetTimeouts(t);
    std::thread farSide([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.send("last words");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty.closeFarSide();
    });
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 10);
    EXPECT_EQ(text, "last words");
    farSide.join();
}

TEST_F(PortOnPty, MissingPortRaisesCodeOneWithPlatformErrorTwo) {
    port.SetPort("/dev/no-such-serial-device");
    try {
        port.SetConnected(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), 2);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortOnPty, PortNameReachesThePtyThroughTheEnvironment) {
    ::setenv("CPORT_DEVICE_COM3", pty.path().c_str(), 1);
    port.SetPort("COM3");
    port.SetConnected(true);
    ::unsetenv("CPORT_DEVICE_COM3");
    pty.send("x");
    waitQueued(1);
}

TEST_F(PortOnPty, SecondOpenFailsAsInUseFromThisAndAnotherProcess) {
    port.SetConnected(true);
    TComPort second(nullptr);
    second.SetPort(pty.path());
    second.SetEvents(TComEvents());
    try {
        second.SetConnected(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), platform::kErrorInUse);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 0;
        try {
            TComPort other(nullptr);
            other.SetPort(pty.path());
            other.SetEvents(TComEvents());
            other.SetConnected(true);
        } catch (const EComPort& e) {
            code = e.ErrorNumber();
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // Released by the close, the device opens again.
    port.SetConnected(false);
    second.SetConnected(true);
    EXPECT_TRUE(second.Connected());
}

// The lock file terminal programs use: a living holder refuses the open (root passes the
// tty's own exclusive mode), a dead one's is taken over, and the port holds one while open.
TEST_F(PortOnPty, TheDevicesLockFileIsHonouredAndHeld) {
    if (::access("/run/lock", W_OK) != 0) {
        GTEST_SKIP() << "/run/lock cannot be written here";
    }
    const std::string lock = "/run/lock/" + platform::posix::UucpLock::fileName(pty.path());
    auto writeLock = [&](pid_t pid) {
        std::FILE* file = std::fopen(lock.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%10d\n", static_cast<int>(pid));
        std::fclose(file);
    };
    auto holder = [&] {
        std::ifstream file(lock);
        int pid = 0;
        return file >> pid ? pid : 0;
    };
    // A terminal program holding the device.
    const pid_t other = ::fork();
    if (other == 0) {
        ::pause();
        ::_exit(0);
    }
    writeLock(other);
    try {
        port.SetConnected(true);
        FAIL() << "opened a device another program holds";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), platform::kErrorInUse);
    }
    EXPECT_EQ(holder(), other);
    // It ended without removing its lock: stale, taken over.
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(holder(), ::getpid());
    port.SetConnected(false);
    EXPECT_NE(::access(lock.c_str(), F_OK), 0);
}

TEST(UucpLockName, TheDeviceUnderDevWithItsSlashesAsUnderscores) {
    using platform::posix::UucpLock;
    EXPECT_EQ(UucpLock::fileName("/dev/ttyS2"), "LCK..ttyS2");
    EXPECT_EQ(UucpLock::fileName("/dev/pts/3"), "LCK..pts_3");
    EXPECT_EQ(UucpLock::fileName("/dev/serial/by-id/usb-x"), "LCK..serial_by-id_usb-x");
    Pty pty;
    const std::string link = ::testing::TempDir() + "uucp-link-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(pty.path().c_str(), link.c_str()), 0);
    EXPECT_EQ(UucpLock::fileName(link), UucpLock::fileName(pty.path()));
    ::unlink(link.c_str());
}

TEST_F(PortOnPty, OperationsOnAClosedPortRaiseTheirCodes) {
    auto code = [](auto&& operation) {
        try {
            operation();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.SystemError(), platform::kErrorInvalidHandle);
            return e.ErrorNumber();
        }
        return 0;
    };
    std::string text;
    char buffer[4];
    EXPECT_EQ(code([&] { port.ReadText(text, 10); }), 3);
    EXPECT_EQ(code([&] { port.ReadBuffer(buffer, 4); }), 3);
    EXPECT_EQ(code([&] { port.WaitingInputCount(); }), 10);
    EXPECT_EQ(code([&] { port.ReadLineErrors(); }), 10);
    EXPECT_EQ(code([&] { port.ReadLineSignals(); }), 11);
    EXPECT_EQ(code([&] { port.AbortTransfers(); }), 5);
}

TEST_F(PortOnPty, PtyHasNoModemLinesAndReadsThemAllOff) {
    port.SetConnected(true);
    EXPECT_TRUE(port.ReadLineSignals().Empty());
    EXPECT_TRUE(port.ReadLineErrors().Empty());
}

TEST_F(PortOnPty, LineSettingsReachTheTty) {
    // A pty keeps bit rate, stop bits and flow control; it forces 8 data bits without
    // parity, which the mapping test below covers instead.
    struct Case {
        const char* name;
        std::function<void(TComPort&)> set;
        unsigned baud;
        tcflag_t cflagSet, cflagClear, iflagSet, iflagClear;
    };
    const std::vector<Case> cases = {
        {"system 9600 8N1", [](TComPort&) {}, 9600, CS8, CSTOPB | CRTSCTS, 0, IXON | IXOFF},
        {"250000 custom",
         [](TComPort& p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(250000);
         },
         250000, 0, 0, 0, 0},
        {"14400 outside the classic table", [](TComPort& p) { p.SetBaudRate(br14400); }, 14400, 0,
         0, 0, 0},
        {"two stop bits", [](TComPort& p) { p.SetStopBits(sbTwoStopBits); }, 9600, CSTOPB, 0, 0, 0},
        {"hardware flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcHardware); }, 9600,
         CRTSCTS, 0, 0, 0},
        {"software flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); }, 9600, 0,
         CRTSCTS, IXON | IXOFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pty line;
        TComPort p(nullptr);
        p.SetPort(line.path());
        p.SetEvents(TComEvents());
        c.set(p);
        p.SetConnected(true);
        // A pty master reports its slave's settings.
        const TtySettings tio = readTtySettings(line.master());
        EXPECT_EQ(tio.c_ospeed, c.baud);
        EXPECT_EQ(tio.c_ispeed, c.baud);
        EXPECT_EQ(tio.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(tio.c_cflag & c.cflagClear, 0u);
        EXPECT_EQ(tio.c_iflag & c.iflagSet, c.iflagSet);
        EXPECT_EQ(tio.c_iflag & c.iflagClear, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    }
}

TEST(TtyLineMapping, DataBitsParityStopBitsAndControlLines) {
    using platform::posix::TtyLine;
    namespace f = platform::dcbflag;
    struct Case {
        std::uint8_t byteSize, parity, stopBits;
        std::uint32_t flags;
        tcflag_t cflag;  // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS
        tcflag_t iflag;  // of IXON | IXOFF
        bool dtr, rts;
    } cases[] = {
        {8, 0, 0, f::Binary, CS8, 0, false, false},
        {7, 2, 2, f::Binary, CS7 | PARENB | CSTOPB, 0, false, false},
        {5, 1, 1, f::Binary, CS5 | PARENB | PARODD | CSTOPB, 0, false, false},
        {6, 3, 0, f::Binary, CS6 | PARENB | PARODD | CMSPAR, 0, false, false},
        {8, 4, 0, f::Binary, CS8 | PARENB | CMSPAR, 0, false, false},
        {8, 0, 0, f::Binary | f::OutxCtsFlow, CS8 | CRTSCTS, 0, false, false},
        {8, 0, 0, f::Binary | f::RtsControlHandshake, CS8 | CRTSCTS, 0, false, false},
        {8, 0, 0, f::Binary | f::OutX | f::InX, CS8, IXON | IXOFF, false, false},
        {8, 0, 0, f::Binary | f::DtrControlEnable | f::RtsControlEnable, CS8, 0, true, true},
        {8, 0, 0, f::Binary | f::DtrControlHandshake | f::RtsControlToggle, CS8, 0, true, false},
    };
    const tcflag_t cmask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    for (const Case& c : cases) {
        platform::Dcb dcb;
        dcb.BaudRate = 9600;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        dcb.Flags = c.flags;
        TtyLine line;
        ASSERT_EQ(platform::posix::ttyLineFor(dcb, false, line), 0);
        EXPECT_EQ(line.cflag & cmask, c.cflag) << int(c.byteSize) << int(c.parity);
        EXPECT_EQ(line.iflag & (IXON | IXOFF), c.iflag);
        EXPECT_EQ(line.dtrOn, c.dtr);
        EXPECT_EQ(line.rtsOn, c.rts);
        EXPECT_EQ(line.cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
    }
    platform::Dcb bad;
    bad.BaudRate = 9600;
    bad.ByteSize = 9;
    TtyLine line;
    EXPECT_EQ(platform::posix::ttyLineFor(bad, false, line), EINVAL);
    platform::Dcb good;
    good.BaudRate = 9600;
    good.ByteSize = 8;
    ASSERT_EQ(platform::posix::ttyLineFor(good, true, line), 0);
    EXPECT_EQ(line.iflag & (INPCK | PARMRK), tcflag_t(INPCK | PARMRK));
    ASSERT_EQ(platform::posix::ttyLineFor(good, false, line), 0);
    EXPECT_EQ(line.iflag & (INPCK | PARMRK), 0u);
}

TEST_F(PortOnPty, SettingsTheDeviceRefusesRaiseCodeSeven) {
    port.SetConnected(true);
    try {
        port.SetCustomBaudRate(0);
        port.SetBaudRate(brCustom);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 7);
    }
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortOnPty, ThousandOpenCloseCyclesLeakNoDescriptor) {
    port.SetConnected(true);
    port.SetConnected(false);
    const int before = openDescriptorCount();
    for (int i = 0; i < 1000; ++i) {
        port.SetConnected(true);
        std::string text;
        port.ReadText(text, 16);
        port.SetConnected(false);
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

}  // namespace
