// The serial component on the Linux kernel's own 8250 driver, inside a virtual machine:
// ttyS1 is fed through a telnet socket (data, breaks), ttyS2 (COM3, as the program uses it)
// through a host tty whose modem lines the host sets, ttyS4 is a PCI card that the host
// pulls out. The host is asked through HostLink.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainThread.h"
#include "serial/CPort.h"
#include "serial/ComLed.h"
#include "serial/ComPortStream.h"
#include "uart/HostLink.h"

// The system's stored port description (compiled in from the resources).
extern const char* const kAnaFormPortDescription;

namespace {

using Clock = std::chrono::steady_clock;

// The driver's own view of ttyS<n>, for a failure's message.
std::string driverState(int n) {
    std::ifstream file("/proc/tty/driver/serial");
    std::string line, found;
    while (std::getline(file, line)) {
        if (line.rfind(std::to_string(n) + ":", 0) == 0) {
            found = line;
        }
    }
    return " [driver: " + found + "]";
}

bool serveUntil(const std::function<bool()>& done, int limitMs = 5000) {
    return platform::serveMainThreadUntil(done, limitMs);
}

// A lamp without a screen: its behaviour is the shared one; it draws nothing.
class HeadlessLed : public TCustomComLed {
public:
    HeadlessLed() = default;
    ~HeadlessLed() override { Unbind(); }

protected:
    void Invalidate() override {}
    void ProcessMessages() override { platform::mainThreadQueue().drain(); }
    void StartRingTimer(int) override { m_ringTimer = true; }
    void StopRingTimer() override { m_ringTimer = false; }
    bool RingTimerActive() const override { return m_ringTimer; }
    TLedPicture LoadResourcePicture(const char*) override { return {}; }

private:
    bool m_ringTimer = false;
};

// What reached the handlers and the links, in order.
class Seen {
public:
    void attach(TCustomComPort& port) {
        port.OnCTSChange = [this](TObject*, bool on) { add(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TObject*, bool on) { add(on ? "DSR on" : "DSR off"); };
        port.OnRLSDChange = [this](TObject*, bool on) { add(on ? "RLSD on" : "RLSD off"); };
        port.OnRing = [this](TObject*) { add("Ring"); };
        port.OnBreak = [this](TObject*) { add("Break"); };
        port.OnRxFlag = [this](TObject*) { add("RxFlag"); };
        port.OnError = [this](TObject*, TComErrors errors) {
            add(std::string("Error") + (errors.Contains(ceBreak) ? " break" : "") +
                (errors.Contains(ceFrame) ? " frame" : "") +
                (errors.Contains(ceOverrun) ? " overrun" : "") +
                (errors.Contains(ceRxOver) ? " rx-over" : ""));
        };
        port.OnAfterClose = [this](TObject*) { add("AfterClose"); };
        link.CtsChanged = [this](TObject*, bool on) { add(on ? "link CTS on" : "link CTS off"); };
        link.DsrChanged = [this](TObject*, bool on) { add(on ? "link DSR on" : "link DSR off"); };
        link.RlsdChanged = [this](TObject*, bool on) {
            add(on ? "link RLSD on" : "link RLSD off");
        };
        link.RingDetected = [this](TObject*) { add("link Ring"); };
        link.ConnectionChanged = [this](TObject*, bool on) {
            add(on ? "link open" : "link closed");
        };
        port.AttachLink(&link);
    }
    void add(const std::string& entry) { entries.push_back(entry); }
    int count(const std::string& entry) const {
        return static_cast<int>(std::count(entries.begin(), entries.end(), entry));
    }
    bool has(const std::string& entry) const { return count(entry) > 0; }

    std::string all() const {
        std::string text;
        for (const std::string& e : entries) {
            text += e + "; ";
        }
        return text;
    }

    std::vector<std::string> entries;
    TComLink link;
};

class OnTheUart : public ::testing::Test {
protected:
    // The system's own stored settings, on the given device.
    void openWithTheSystemsSettings(const std::string& device) {
        port.BeginLoading();
        LoadComPortDescription(port, kAnaFormPortDescription,
                               [](const std::string&, const std::string&) {});
        port.SetPort(device);
        port.FinishLoading();
        seen.attach(port);
        port.SetConnected(true);
        ASSERT_TRUE(port.Connected());
    }
    void TearDown() override {
        port.SetConnected(false);
        HostLink::instance().setLines("");
    }
    // Serves the hand-overs for a moment: what is still on its way arrives.
    static void settle(int ms = 300) {
        serveUntil([] { return false; }, ms);
    }

    TComPort port{nullptr};
    Seen seen;
};

TEST_F(OnTheUart, ABlockOf1200BytesIsReadWholeAsTheProgramReadsIt) {
    openWithTheSystemsSettings("/dev/ttyS2");
    std::string block;
    for (int i = 0; block.size() < 1200; ++i) {
        block += "LINE " + std::to_string(i) + " 12.5 H\r\n";
    }
    block.resize(1200);
    std::string read;
    int reports = 0;
    port.OnRxChar = [&](TObject*, std::int32_t) {
        ++reports;
        // As the program does: the rest of the block comes in meanwhile, then one read.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::string text;
        port.ReadText(text, 10000);
        read += text;
    };
    HostLink::instance().send(2, block);
    ASSERT_TRUE(serveUntil([&] { return read.size() >= block.size(); }, 10000)) << read.size();
    EXPECT_EQ(read, block);
    EXPECT_EQ(reports, 1);
}

TEST_F(OnTheUart, ModemLineChangesReachTheHandlersAndTheLinksWithTheirState) {
    openWithTheSystemsSettings("/dev/ttyS2");
    HeadlessLed cts;
    cts.SetLedSignal(lsCTS);
    cts.SetComPort(&port);
    seen.entries.clear();  // the open's own report of the lines
    HostLink& host = HostLink::instance();
    host.setLines("CTS");
    ASSERT_TRUE(serveUntil([&] { return seen.has("CTS on"); })) << seen.all() << driverState(2);
    EXPECT_TRUE(seen.has("link CTS on"));
    EXPECT_EQ(cts.State(), lsOn);
    host.setLines("CTS DSR");
    ASSERT_TRUE(serveUntil([&] { return seen.has("DSR on"); }));
    host.setLines("DSR RLSD");
    ASSERT_TRUE(serveUntil([&] { return seen.has("RLSD on") && seen.has("CTS off"); }));
    EXPECT_EQ(cts.State(), lsOff);
    host.setLines("");
    ASSERT_TRUE(serveUntil([&] { return seen.has("DSR off") && seen.has("RLSD off"); }));
    settle();
    // Each change once, none twice.
    for (const char* entry : {"CTS on", "CTS off", "DSR on", "DSR off", "RLSD on", "RLSD off",
                              "link CTS on", "link DSR off", "link RLSD on"}) {
        EXPECT_EQ(seen.count(entry), 1) << entry;
    }
    EXPECT_FALSE(seen.has("Ring"));
}

// Pulses of a few of the back end's samples (it reads the host's lines every 10 ms): each is
// reported, on its own, by the line's counter or its level.
TEST_F(OnTheUart, AShortPulseOnALineIsStillReported) {
    openWithTheSystemsSettings("/dev/ttyS2");
    HostLink& host = HostLink::instance();
    constexpr int kPulses = 8;
    for (int i = 0; i < kPulses; ++i) {
        const auto before = seen.entries.size();
        host.pulse("DSR", 25);
        EXPECT_TRUE(serveUntil([&] { return seen.entries.size() > before; }, 2000))
            << "pulse " << i << " not reported";
    }
    settle();
    EXPECT_GE(seen.count("DSR on") + seen.count("DSR off"), kPulses);
}

TEST_F(OnTheUart, ARingReachesOnRingAndAnLsRingLampAtItsEnd) {
    openWithTheSystemsSettings("/dev/ttyS2");
    HeadlessLed ring;
    ring.SetLedSignal(lsRing);
    ring.SetComPort(&port);
    HostLink& host = HostLink::instance();
    host.setLines("RING");
    settle();
    // An 8250 counts a ring on RI's trailing edge.
    EXPECT_FALSE(seen.has("Ring"));
    host.setLines("");
    ASSERT_TRUE(serveUntil([&] { return seen.has("Ring"); }));
    EXPECT_TRUE(seen.has("link Ring"));
    EXPECT_EQ(ring.State(), lsOn);
    settle();
    EXPECT_EQ(seen.count("Ring"), 1);
}

TEST_F(OnTheUart, ABreakGivesOnBreakAndCeBreakAndNoDataByte) {
    openWithTheSystemsSettings("/dev/ttyS1");
    std::string read;
    port.OnRxChar = [&](TObject*, std::int32_t) {
        std::string text;
        port.ReadText(text, 10000);
        read += text;
    };
    HostLink& host = HostLink::instance();
    host.send(1, "ab");
    ASSERT_TRUE(serveUntil([&] { return read == "ab"; }));
    host.sendBreak(1);
    ASSERT_TRUE(serveUntil([&] { return seen.has("Break"); }));
    host.send(1, "cd");
    ASSERT_TRUE(serveUntil([&] { return read.size() >= 4; }));
    settle();
    EXPECT_EQ(read, "abcd");  // no NUL for the break
    EXPECT_EQ(seen.count("Break"), 1);
    EXPECT_TRUE(seen.has("Error break"));
    EXPECT_FALSE(seen.has("RxFlag"));
}

TEST_F(OnTheUart, TheControlLinesAreWhatControlDtrAndControlRtsSay) {
    struct Case {
        TDTRFlowControl dtr;
        TRTSFlowControl rts;
        const char* expected;
    };
    const Case cases[] = {
        {dtrDisable, rtsDisable, ""},  // the system's settings
        {dtrEnable, rtsDisable, "DTR"},
        {dtrDisable, rtsEnable, "RTS"},
        {dtrEnable, rtsEnable, "DTR RTS"},
    };
    openWithTheSystemsSettings("/dev/ttyS2");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        port.FlowControl().SetControlDTR(c.dtr);
        port.FlowControl().SetControlRTS(c.rts);
        // The host's back end passes them on at its next look.
        std::string lines;
        for (int i = 0; i < 50 && (lines = HostLink::instance().controlLines()) != c.expected;
             ++i) {
            settle(20);
        }
        EXPECT_EQ(lines, c.expected);
    }
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The last test: the card is gone afterwards.
TEST_F(OnTheUart, ZzThePciPortPulledOutWhileOpenClosesItselfAtOnceAndQuietly) {
    openWithTheSystemsSettings("/dev/ttyS4");
    const double cpuBefore = cpuSeconds();
    const auto pulled = Clock::now();
    HostLink::instance().unplug();
    ASSERT_TRUE(serveUntil([&] { return !port.Connected(); }, 10000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pulled);
    EXPECT_LT(took.count(), 1000);
    EXPECT_TRUE(seen.has("AfterClose"));
    EXPECT_TRUE(seen.has("link closed"));
    // Nothing spins on the dead device, before the close or after it.
    settle(1000);
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.2);
    RecordProperty("unplug_to_close_ms", static_cast<int>(took.count()));
    std::printf("unplug to close: %lld ms\n", static_cast<long long>(took.count()));
}

}  // namespace
