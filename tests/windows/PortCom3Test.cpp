// The port through the Win32 layer on Wine's COM3, a pseudo-terminal whose far side the test
// scripts: settings reaching the tty, reception, modem lines, closing, failures.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/LastError.h"
#include "platform/MainThread.h"
#include "serial/CPort.h"
#include "windows/FarSide.h"
#include "windows/Win32Support.h"

namespace {

using platform::serveMainThreadUntil;

class Recorder {
public:
    void attach(TCustomComPort& port) {
        port.OnRxChar = [this](TObject*, std::int32_t n) { add("RxChar " + std::to_string(n)); };
        port.OnError = [this](TObject*, TComErrors) { add("Error"); };
        port.OnTxEmpty = [this](TObject*) { add("TxEmpty"); };
        port.OnBreak = [this](TObject*) { add("Break"); };
        port.OnRing = [this](TObject*) { add("Ring"); };
        port.OnRxFlag = [this](TObject*) { add("RxFlag"); };
        port.OnRx80Full = [this](TObject*) { add("Rx80Full"); };
        port.OnCTSChange = [this](TObject*, bool on) { add(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TObject*, bool on) { add(on ? "DSR on" : "DSR off"); };
        port.OnRLSDChange = [this](TObject*, bool on) { add(on ? "RLSD on" : "RLSD off"); };
        port.OnBeforeClose = [this](TObject*) { add("BeforeClose"); };
        port.OnAfterClose = [this](TObject*) { add("AfterClose"); };
    }
    void add(const std::string& entry) {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }
    bool contains(const std::string& entry) const {
        const auto all = entries();
        return std::find(all.begin(), all.end(), entry) != all.end();
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class PortOnCom3 : public ::testing::Test {
protected:
    PortOnCom3() { port.SetPort("COM3"); }

    bool serveUntil(const std::function<bool()>& done, int limitMs = 5000) {
        return serveMainThreadUntil(done, limitMs);
    }

    // Wine keeps no record of line changes while no wait is pending (Windows does): before
    // the far side changes a line, the monitoring thread gets the time to arm its next wait.
    void letTheWaitArm() {
        serveUntil([] { return false; }, 150);
    }

    // Declared before the port: its destruction still notifies them.
    FarSide analyser;
    Recorder events;
    TComLink link;
    TComPort port{nullptr};
};

TEST_F(PortOnCom3, TheDeviceGetsTheLineSettings) {
    // What Wine reports back (GetCommState) and what reached the tty. A pty keeps bit
    // rate, stop bits and flow control; it forces 8 data bits without parity.
    struct Case {
        const char* name;
        std::function<void(TComPort&)> set;
        DWORD baud;
        BYTE stopBits;
        bool ctsFlow, outX, inX;
        unsigned cflagSet, cflagClear, iflagSet, iflagClear;
    };
    const std::vector<Case> cases = {
        {"system 9600 8N1", [](TComPort&) {}, 9600, ONESTOPBIT, false, false, false, tty::CS8,
         tty::CSTOPB | tty::CRTSCTS | tty::PARENB, 0, tty::IXON | tty::IXOFF},
        {"19200, two stop bits",
         [](TComPort& p) {
             p.SetBaudRate(br19200);
             p.SetStopBits(sbTwoStopBits);
         },
         19200, TWOSTOPBITS, false, false, false, tty::CSTOPB, 0, 0, 0},
        {"115200, hardware flow",
         [](TComPort& p) {
             p.SetBaudRate(br115200);
             p.FlowControl().SetFlowControl(fcHardware);
         },
         115200, ONESTOPBIT, true, false, false, tty::CRTSCTS, 0, 0, 0},
        {"software flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcSoftware); }, 9600,
         ONESTOPBIT, false, true, true, 0, tty::CRTSCTS, tty::IXON | tty::IXOFF, 0},
    };
    port.SetEvents(TComEvents());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TComPort p(nullptr);
        p.SetPort("COM3");
        p.SetEvents(TComEvents());
        c.set(p);
        p.SetConnected(true);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(reinterpret_cast<HANDLE>(p.DeviceHandle()), &dcb));
        EXPECT_EQ(dcb.BaudRate, c.baud);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, c.stopBits);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(bool(dcb.fOutxCtsFlow), c.ctsFlow);
        EXPECT_EQ(bool(dcb.fOutX), c.outX);
        EXPECT_EQ(bool(dcb.fInX), c.inX);
        if (c.outX) {
            EXPECT_EQ(dcb.XonChar, 17);
            EXPECT_EQ(dcb.XoffChar, 19);
        }
        COMMTIMEOUTS timeouts{};
        ASSERT_TRUE(::GetCommTimeouts(reinterpret_cast<HANDLE>(p.DeviceHandle()), &timeouts));
        EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 100u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);

        const FarSide::Settings tio = analyser.settings();
        EXPECT_EQ(tio.ospeed, c.baud);
        EXPECT_EQ(tio.ispeed, c.baud);
        EXPECT_EQ(tio.cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(tio.cflag & c.cflagClear, 0u);
        EXPECT_EQ(tio.iflag & c.iflagSet, c.iflagSet);
        EXPECT_EQ(tio.iflag & c.iflagClear, 0u);
        EXPECT_EQ(tio.lflag & (tty::ICANON | tty::ECHO | tty::ISIG), 0u);
    }
}

TEST_F(PortOnCom3, ABlockOf1200BytesArrivesWholeThroughOnRxCharAndReadText) {
    std::string block;
    for (int i = 0; block.size() < 1200; ++i) {
        block += "line " + std::to_string(i) + " \xDE\xFD\x01\xFF\r\n";
    }
    block.resize(1200);
    std::vector<std::string> reads;
    std::vector<std::int32_t> counts;
    port.OnRxChar = [&](TObject*, std::int32_t count) {
        counts.push_back(count);
        // As the program does: the rest of the block arrives while the handler waits.
        eventually([&] { return port.WaitingInputCount() >= 1200; }, 5000);
        std::string text;
        port.ReadText(text, 10000);
        reads.push_back(text);
    };
    port.SetConnected(true);
    // A 9600 bit/s line: 960 characters a second.
    analyser.send(block, 960);
    ASSERT_TRUE(serveUntil([&] { return !reads.empty(); }, 10000));
    serveUntil([] { return false; }, 200);
    ASSERT_EQ(reads.size(), 1u) << "the block came in pieces";
    EXPECT_EQ(reads[0].size(), 1200u);
    EXPECT_EQ(reads[0], block);
    EXPECT_GE(counts[0], 1);
    EXPECT_LT(counts[0], 1200);  // raised as the first characters came, not after the block
    EXPECT_EQ(port.WaitingInputCount(), 0);
}

TEST_F(PortOnCom3, EveryByteValueArrivesUnchanged) {
    port.SetEvents(TComEvents());
    port.SetConnected(true);
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    all += std::string("\xFF\xFF\x00\x00\xFF\x00\x11\x13", 8);
    analyser.send(all);
    ASSERT_TRUE(eventually([&] { return port.WaitingInputCount() >= int(all.size()); }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10000), int(all.size()));
    EXPECT_EQ(text, all);
}

TEST_F(PortOnCom3, ReadWaitsAsTheTimeoutsSay) {
    port.SetEvents(TComEvents());
    port.SetConnected(true);
    TComTimeouts t;
    t.SetReadInterval(0);
    t.SetReadTotalConstant(3000);
    port.SetTimeouts(t);
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        analyser.send("0123456789");
    });
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 10);
    sender.join();
    EXPECT_EQ(text, "0123456789");
    // Fewer bytes than asked for: the total limit ends the read, which is no failure.
    t.SetReadTotalConstant(100);
    port.SetTimeouts(t);
    analyser.send("abc");
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, "abc");
}

TEST_F(PortOnCom3, ModemLineChangesReachHandlersLineSignalsAndLinks) {
    std::vector<std::string> slots;
    link.CtsChanged = [&](TObject*, bool on) { slots.push_back(on ? "cts on" : "cts off"); };
    link.DsrChanged = [&](TObject*, bool on) { slots.push_back(on ? "dsr on" : "dsr off"); };
    link.RlsdChanged = [&](TObject*, bool on) { slots.push_back(on ? "rlsd on" : "rlsd off"); };
    link.RingDetected = [&](TObject*) { slots.push_back("ring"); };
    port.AttachLink(&link);
    events.attach(port);
    port.SetConnected(true);
    EXPECT_TRUE(port.ReadLineSignals().Empty());
    events.clear();
    slots.clear();

    struct Step {
        const char* lines;
        TLineSignals signals;
        std::vector<std::string> handlers;  // each must be among what the step raised
        std::vector<std::string> linkSlots;
    } steps[] = {
        {"CTS", {CTS}, {"CTS on"}, {"cts on"}},
        {"DSR RLSD",
         {DSR, RLSD},
         {"CTS off", "DSR on", "RLSD on"},
         {"cts off", "dsr on", "rlsd on"}},
        {"DSR RLSD RING", {DSR, RLSD, Ring}, {"Ring"}, {"ring"}},
        {"", {}, {"DSR off", "RLSD off"}, {"dsr off", "rlsd off"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.lines);
        letTheWaitArm();
        analyser.setLines(s.lines);
        EXPECT_TRUE(serveUntil([&] {
            for (const std::string& h : s.handlers) {
                if (!events.contains(h)) {
                    return false;
                }
            }
            for (const std::string& l : s.linkSlots) {
                if (std::find(slots.begin(), slots.end(), l) == slots.end()) {
                    return false;
                }
            }
            return true;
        })) << ::testing::PrintToString(events.entries())
            << ::testing::PrintToString(slots);
        EXPECT_EQ(port.ReadLineSignals(), s.signals);
        events.clear();
        slots.clear();
    }
    port.SetConnected(false);
    port.DetachLink(&link);
}

TEST_F(PortOnCom3, ClosingWithABatchPendingRunsItAndDoesNotDeadlock) {
    port.SetConnected(true);
    events.attach(port);
    port.OnCTSChange = [&](TObject*, bool on) {
        events.add(std::string(on ? "CTS on" : "CTS off") +
                   (port.Connected() ? " (connected)" : ""));
    };
    letTheWaitArm();
    // A line change, not received bytes: Wine's purge at the close empties the input queue
    // (Windows' does not), so only a line event still means the same at its hand-over.
    analyser.setLines("CTS");
    // The monitoring thread now waits in the hand-over; the test thread is the main thread
    // and has not served it.
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    const auto start = std::chrono::steady_clock::now();
    port.SetConnected(false);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(events.entries(),
              (std::vector<std::string>{"CTS off (connected)", "DSR off", "RLSD off", "BeforeClose",
                                        "CTS on (connected)", "AfterClose"}));
    EXPECT_FALSE(port.Connected());
    // The line opens again at once.
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
}

// smWindowSync: each event is a message sent to the hidden window of the thread that opened
// the port, answered at once and handled there; a close with one pending serves it.
TEST_F(PortOnCom3, WindowSyncHandsEachEventToTheMainThreadThroughItsHiddenWindow) {
    const DWORD mainThread = ::GetCurrentThreadId();
    auto sentMessagePending = [] {
        return (HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
    };
    auto serveMessages = [&](const std::function<bool()>& done) {
        return eventually(
            [&] {
                MSG msg;
                while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                    ::DispatchMessageW(&msg);
                }
                return done();
            },
            5000);
    };
    struct Seen {
        DWORD thread;
        DWORD send;
    };
    std::vector<Seen> seen;
    port.SetSyncMethod(smWindowSync);
    port.OnRxChar = [&](TObject*, std::int32_t count) {
        seen.push_back({::GetCurrentThreadId(), ::InSendMessageEx(nullptr)});
        std::string text;
        port.ReadText(text, count);
    };
    port.SetConnected(true);
    ASSERT_NE(port.SyncWindow(), nullptr);
    const HWND window = ::FindWindowA("TCPortSyncWindow", nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::GetWindowThreadProcessId(window, nullptr), mainThread);

    analyser.send("abc");
    // The monitoring thread waits in its send until this thread looks at its messages.
    ASSERT_TRUE(eventually(sentMessagePending));
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(serveMessages([&] { return !seen.empty(); }));
    EXPECT_EQ(seen[0].thread, mainThread);
    EXPECT_EQ(seen[0].send & (ISMEX_SEND | ISMEX_REPLIED), DWORD{ISMEX_SEND | ISMEX_REPLIED});

    // A line change sent and not yet served when the window closes the port; this thread
    // has already seen it pending, which must not keep the close's wait from serving it.
    events.attach(port);
    letTheWaitArm();
    analyser.setLines("CTS");
    ASSERT_TRUE(eventually(sentMessagePending));
    port.SetConnected(false);
    const auto entries = events.entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "CTS on"), 1)
        << ::testing::PrintToString(entries);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), "AfterClose");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(::FindWindowA("TCPortSyncWindow", nullptr), nullptr);
}

TEST_F(PortOnCom3, AMissingPortRaisesCodeOneWithPlatformErrorTwo) {
    port.SetPort("COM42");
    try {
        port.SetConnected(true);
        FAIL() << "COM42 opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), 2);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortOnCom3, TheFarSideClosingClosesThePortWithItsNotifications) {
    std::vector<bool> connection;
    link.ConnectionChanged = [&](TObject*, bool on) { connection.push_back(on); };
    port.AttachLink(&link);
    port.SetConnected(true);
    events.attach(port);
    // The handler reads what came, as the program's does: Wine reports EV_RXCHAR again at
    // once for every wait while bytes stay queued, and would never get to the hang-up.
    std::string received;
    port.OnRxChar = [&](TObject*, std::int32_t) {
        std::string text;
        port.ReadText(text, 100);
        received += text;
    };
    analyser.send("partial");
    ASSERT_TRUE(serveUntil([&] { return received == "partial"; }));
    letTheWaitArm();
    analyser.hangUp();
    ASSERT_TRUE(serveUntil([&] { return !port.Connected(); }))
        << ::testing::PrintToString(events.entries());
    EXPECT_EQ(connection, (std::vector<bool>{true, false}));
    const auto got = events.entries();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], "BeforeClose");
    EXPECT_EQ(got.back(), "AfterClose");
    EXPECT_EQ(port.DeviceHandle(), platform::kInvalidDevice);
    port.DetachLink(&link);
}

TEST_F(PortOnCom3, OperationsOnAClosedPortRaiseTheirCodes) {
    auto code = [](auto&& operation) {
        try {
            operation();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.SystemError(), ERROR_INVALID_HANDLE);
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

// The device layer itself on COM3: a wait that completes at once, one that goes on, and one
// that a mask change ends, which is complete by the time the change returns.
TEST(SerialApiOnCom3, EventWaitsCompleteAtOnceOrLaterAndAMaskChangeCollectsThem) {
    FarSide analyser;
    platform::SerialApi& api = platform::systemSerialApi();
    const platform::DeviceHandle device = api.open("\\\\.\\COM3");
    ASSERT_NE(device, platform::kInvalidDevice) << platform::lastError();
    platform::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = platform::kMaxTimeout;
    ASSERT_TRUE(api.setTimeouts(device, timeouts));
    ASSERT_TRUE(api.setEventMask(device, platform::ev::RxChar | platform::ev::Cts));
    platform::Overlapped overlapped;
    overlapped.hEvent = platform::createSignal(false);
    std::uint32_t mask = 0, unused = 0;

    // Bytes that came while no wait was pending: the wait completes at once, its signal set.
    analyser.send("abc");
    ASSERT_TRUE(eventually([&] {
        platform::ComStat stat;
        return api.queryStatus(device, nullptr, &stat) && stat.cbInQue == 3;
    }));
    ASSERT_TRUE(api.startEventWait(device, &mask, &overlapped));
    EXPECT_EQ(platform::waitForSignal(overlapped.hEvent, 0), platform::kWaitObject0);
    EXPECT_TRUE(api.transferResult(device, &overlapped, &unused, false));
    EXPECT_EQ(mask, platform::ev::RxChar);
    char buffer[8];
    std::uint32_t read = 0;
    platform::Overlapped readRecord;
    readRecord.hEvent = platform::createSignal(false);
    ASSERT_TRUE(api.startRead(device, buffer, sizeof buffer, &read, &readRecord));
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(platform::waitForSignal(readRecord.hEvent, 0), platform::kWaitObject0);

    // Nothing queued: the wait goes on until a line changes.
    mask = 0;
    ASSERT_FALSE(api.startEventWait(device, &mask, &overlapped));
    ASSERT_EQ(platform::lastError(), platform::kErrorIoPending);
    analyser.setLines("CTS");
    EXPECT_EQ(platform::waitForSignal(overlapped.hEvent, 5000), platform::kWaitObject0);
    EXPECT_TRUE(api.transferResult(device, &overlapped, &unused, false));
    EXPECT_EQ(mask, platform::ev::Cts);

    // A pending wait that the mask change ends is over when the change returns.
    mask = 0xFFFF;
    ASSERT_FALSE(api.startEventWait(device, &mask, &overlapped));
    ASSERT_EQ(platform::lastError(), platform::kErrorIoPending);
    EXPECT_FALSE(api.transferResult(device, &overlapped, &unused, false));
    EXPECT_EQ(platform::lastError(), platform::kErrorIoIncomplete);
    ASSERT_TRUE(api.setEventMask(device, 0));
    EXPECT_NE(overlapped.Internal, 0x103u /* STATUS_PENDING */);
    EXPECT_EQ(platform::waitForSignal(overlapped.hEvent, 0), platform::kWaitObject0);
    EXPECT_EQ(mask, 0u);

    EXPECT_TRUE(api.close(device));
    platform::releaseSignal(overlapped.hEvent);
    platform::releaseSignal(readRecord.hEvent);
}

// A mark that moves when handles are left behind: the system's count of the process's
// handles where it keeps one (Windows); Wine reports none there, but it hands out the
// lowest free handle value, which a left-behind handle would take.
std::uintptr_t handleMark() {
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) {
        return count;
    }
    HANDLE probe = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto mark = reinterpret_cast<std::uintptr_t>(probe);
    ::CloseHandle(probe);
    return mark;
}

TEST_F(PortOnCom3, HundredsOfOpenCloseCyclesWithMonitoringLeakNoHandle) {
    port.SetConnected(true);
    port.SetConnected(false);
    const std::uintptr_t before = handleMark();
    for (int i = 0; i < 200; ++i) {
        port.SetConnected(true);
        if (i % 3 == 0) {
            analyser.send("x");
        }
        port.SetConnected(false);
    }
    EXPECT_EQ(handleMark(), before);
}

}  // namespace
