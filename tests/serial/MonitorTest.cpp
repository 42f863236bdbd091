// The monitoring thread and the dispatch of line events: order, hand-overs, failures,
// closing without deadlock, and the device going away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainThread.h"
#include "platform/fake/FakeSerialApi.h"
#include "serial/CPort.h"
#include "serial/ComThread.h"
#include "support/Pty.h"

namespace {

using platform::FakeSerialApi;
using platform::serveMainThreadUntil;
namespace ev = platform::ev;
namespace ms = platform::ms;

// Serves the main thread's hand-overs until `done`, as the program's event loop would.
bool serveUntil(const std::function<bool()>& done, int limitMs = 5000) {
    return serveMainThreadUntil(done, limitMs);
}

class Recorder {
public:
    void attach(TCustomComPort& port) {
        port.OnError = [this](TObject*, TComErrors) { add("Error"); };
        port.OnRxChar = [this](TObject*, std::int32_t n) { add("RxChar " + std::to_string(n)); };
        port.OnTxEmpty = [this](TObject*) { add("TxEmpty"); };
        port.OnBreak = [this](TObject*) { add("Break"); };
        port.OnRing = [this](TObject*) { add("Ring"); };
        port.OnCTSChange = [this](TObject*, bool on) { add(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TObject*, bool on) { add(on ? "DSR on" : "DSR off"); };
        port.OnRxFlag = [this](TObject*) { add("RxFlag"); };
        port.OnRLSDChange = [this](TObject*, bool on) { add(on ? "RLSD on" : "RLSD off"); };
        port.OnRx80Full = [this](TObject*) { add("Rx80Full"); };
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
    std::size_t size() const { return entries().size(); }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class MonitorOnFake : public ::testing::Test {
protected:
    void open(TSyncMethod sync = smThreadSync) {
        port.SetSyncMethod(sync);
        port.SetConnected(true);
        ASSERT_TRUE(port.ThreadStarted());
        ASSERT_TRUE(fake.waitUntilArmed(5000));
        events.clear();
        events.attach(port);
    }

    Recorder events;
    FakeSerialApi fake;
    TComPort port{nullptr, &fake};
};

TEST_F(MonitorOnFake, EventMaskOfTheFullSet) {
    EXPECT_EQ(EventsToInt(AllComEvents), 0x05FFu);
    EXPECT_EQ(IntToEvents(0x05FF), AllComEvents);
    EXPECT_EQ(IntToEvents(0x0200 | 0x8000 | ev::Rlsd), TComEvents{evRLSD});
    EXPECT_EQ(EventsToInt(TComEvents{evRxChar, evRxFlag, evRx80Full}), 0x0403u);
    open();
    EXPECT_EQ(fake.eventMask(), 0x05FFu);
}

TEST_F(MonitorOnFake, ABatchRunsItsStepsInTheFixedOrderOnTheMainThread) {
    open();
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::thread::id> threads;
    port.OnRxChar = [&](TObject*, std::int32_t n) {
        threads.push_back(std::this_thread::get_id());
        events.add("RxChar " + std::to_string(n));
    };
    fake.setModemStatus(ms::CtsOn | ms::RlsdOn);
    fake.addLineErrors(platform::ce::Frame);
    fake.queueInput("hello", false);
    fake.raiseEvents(ev::Rx80Full | ev::Rlsd | ev::RxFlag | ev::Dsr | ev::Cts | ev::Ring |
                     ev::Break | ev::TxEmpty | ev::Err | ev::RxChar);
    ASSERT_TRUE(serveUntil([&] { return events.size() >= 10; }));
    const std::vector<std::string> expected = {"Error",   "RxChar 5", "TxEmpty", "Break",
                                               "Ring",    "CTS on",   "DSR off", "RxFlag",
                                               "RLSD on", "Rx80Full"};
    EXPECT_EQ(events.entries(), expected);
    EXPECT_EQ(threads, std::vector<std::thread::id>(threads.size(), mainThread));
}

TEST_F(MonitorOnFake, EmptyQueueAndEmptyErrorSetRaiseNothing) {
    open();
    TComLink link;
    std::vector<bool> activity;
    link.ReceiveActivity = [&](TObject*, bool on) { activity.push_back(on); };
    port.AttachLink(&link);
    fake.addLineErrors(platform::ce::RxParity);  // not counted: Parity.Check is off
    fake.raiseEvents(ev::RxChar | ev::Err | ev::Cts);
    ASSERT_TRUE(serveUntil([&] { return events.size() >= 1; }));
    EXPECT_EQ(events.entries(), std::vector<std::string>{"CTS off"});
    EXPECT_TRUE(activity.empty());
    port.DetachLink(&link);
}

TEST_F(MonitorOnFake, ReceiveActivityAndDataDeliveryToALink) {
    open();
    TComLink link;
    std::vector<std::string> seen;
    link.ReceiveActivity = [&](TObject*, bool on) { seen.push_back(on ? "rx on" : "rx off"); };
    link.DataReceived = [&](TObject*, const char* data, std::int32_t n) {
        seen.push_back("data " + std::string(data, static_cast<std::size_t>(n)));
    };
    port.AttachLink(&link);
    port.OnRxBuf = [&](TObject*, const char* data, std::int32_t n) {
        seen.push_back("RxBuf " + std::string(data, static_cast<std::size_t>(n)));
    };
    fake.queueInput("abc");
    ASSERT_TRUE(serveUntil([&] { return seen.size() >= 4; }));
    // The data was read and delivered, so OnRxChar is not raised.
    // The read tells the links the queue ran empty before OnRxBuf and the slot see it.
    EXPECT_EQ(seen, (std::vector<std::string>{"rx on", "rx off", "RxBuf abc", "data abc"}));
    EXPECT_TRUE(events.entries().empty());
    port.DetachLink(&link);
}

TEST_F(MonitorOnFake, AThrowingHandlerEndsMonitoringUntilReopened) {
    open();
    port.OnRxChar = [&](TObject*, std::int32_t) {
        events.add("RxChar");
        throw std::runtime_error("handler failed");
    };
    fake.queueInput("x");
    fake.raiseEvents(ev::Cts);
    ASSERT_TRUE(serveUntil([&] { return port.MonitorThread()->Finished(); }));
    EXPECT_EQ(events.entries(), std::vector<std::string>{"RxChar"});  // CTS step skipped
    EXPECT_TRUE(port.MonitorThread()->FatalException() != nullptr);
    EXPECT_TRUE(port.Connected());
    fake.raiseEvents(ev::Cts);
    serveUntil([] { return false; }, 100);
    EXPECT_EQ(events.size(), 1u);

    port.SetConnected(false);
    events.clear();
    port.OnRxChar = nullptr;
    port.SetConnected(true);
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    events.clear();
    fake.raiseEvents(ev::Cts);
    EXPECT_TRUE(serveUntil([&] { return events.size() == 1; }));
}

TEST_F(MonitorOnFake, BatchPendingWhenTheCloseBeginsRunsDuringTheCloseAndTheStopWins) {
    open();
    fake.setModemStatus(ms::CtsOn);
    fake.raiseEvents(ev::Cts);
    // The monitoring thread now waits in the hand-over; the test thread is the main thread.
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    // Completed while the first batch is pending: the next wait completes at once, and
    // the stop request wins over it.
    fake.raiseEvents(ev::Dsr);
    port.OnCTSChange = [&](TObject*, bool on) {
        events.add(std::string(on ? "CTS on" : "CTS off") +
                   (port.Connected() ? " (connected)" : ""));
    };
    port.SetConnected(false);
    EXPECT_EQ(events.entries(),
              (std::vector<std::string>{"CTS off (connected)", "DSR off", "RLSD off", "BeforeClose",
                                        "CTS on (connected)", "AfterClose"}));
    EXPECT_EQ(fake.eventMask(), 0u);
    EXPECT_EQ(fake.calls().back(), "close()");
}

// The device failed, and before the main thread got to the close that failure asks for,
// the port was closed and opened again: the new opening stays open.
TEST_F(MonitorOnFake, ADeviceFailureOfAnEarlierOpeningClosesNothing) {
    open();
    fake.failOn("startEventWait", 5 /* ERROR_ACCESS_DENIED */, 1);
    fake.raiseEvents(ev::Cts);
    ASSERT_TRUE(serveUntil([&] { return !port.Connected(); }, 5000));  // as ever, it closes
    port.SetConnected(true);
    ASSERT_TRUE(fake.waitUntilArmed(5000));

    // Now the same with the close still queued when the port is opened again (the failed
    // wait hands nothing over, so the thread ends without the main thread).
    fake.failOn("transferResult", 5, 1);
    fake.failOn("startEventWait", 5, 1);
    fake.raiseEvents(ev::Cts);
    ASSERT_TRUE(port.MonitorThread() != nullptr);
    const TComThread* ended = port.MonitorThread();
    for (int i = 0; i < 500 && !ended->Finished(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(ended->Finished());
    port.SetConnected(false);
    port.SetConnected(true);
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    serveUntil([] { return false; }, 200);
    EXPECT_TRUE(port.Connected());
    fake.raiseEvents(ev::Dsr);
    EXPECT_TRUE(serveUntil([&] { return events.size() > 0; }));
}

// A call queued for the main thread that fails while a close serves the queue: the close
// goes on and the failure goes to the central handler.
TEST_F(MonitorOnFake, AFailingQueuedCallDuringACloseGoesToTheCentralHandler) {
    std::vector<std::string> handled;
    SetApplicationExceptionHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            handled.push_back(e.what());
        }
    });
    open();
    fake.raiseEvents(ev::Cts);
    // The monitoring thread now waits in the hand-over, behind the failing call.
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    platform::mainThreadQueue().post([] { throw std::runtime_error("queued call failed"); });
    port.SetConnected(false);
    SetApplicationExceptionHandler(nullptr);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(handled, std::vector<std::string>{"queued call failed"});
    EXPECT_EQ(fake.calls().back(), "close()");
}

TEST_F(MonitorOnFake, EmptyEventsStartNoThreadButStillReportTheLines) {
    port.SetEvents(TComEvents());
    port.SetSyncMethod(smWindowSync);
    events.attach(port);
    fake.setModemStatus(ms::DsrOn);
    port.SetConnected(true);
    EXPECT_FALSE(port.ThreadStarted());
    EXPECT_EQ(port.MonitorThread(), nullptr);
    EXPECT_EQ(port.SyncWindow(), nullptr);
    EXPECT_EQ(events.entries(), (std::vector<std::string>{"CTS off", "DSR on", "RLSD off"}));
    for (const std::string& call : fake.callNames()) {
        EXPECT_NE(call, "setEventMask");
    }
    // Changing the events while open takes effect at the next open only.
    port.SetEvents(AllComEvents);
    EXPECT_FALSE(port.ThreadStarted());
    port.SetConnected(false);
    port.SetConnected(true);
    EXPECT_TRUE(port.ThreadStarted());
    EXPECT_NE(port.SyncWindow(), nullptr);
}

// Records the window messages the hand-over delivers.
class MessageRecordingPort : public TComPort {
public:
    using TComPort::TComPort;
    void HandleSyncMessage(std::uint32_t Message, std::uintptr_t WParam) override {
        messages.push_back(WParam);
        EXPECT_EQ(Message, CM_COMEVENT);
        TComPort::HandleSyncMessage(Message, WParam);
    }
    std::vector<std::uintptr_t> messages;
};

TEST(MonitorWindowSync, OneMessagePerEventWithItsParameter) {
    FakeSerialApi fake;
    MessageRecordingPort port(nullptr, &fake);
    port.SetSyncMethod(smWindowSync);
    port.SetConnected(true);
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    fake.setModemStatus(ms::RlsdOn);
    std::vector<bool> rlsd;
    port.OnRLSDChange = [&](TObject*, bool on) { rlsd.push_back(on); };
    fake.raiseEvents(ev::Rlsd);
    ASSERT_TRUE(serveMainThreadUntil([&] { return port.messages.size() == 1; }, 5000));
    EXPECT_EQ(port.messages, std::vector<std::uintptr_t>{32});
    EXPECT_EQ(rlsd, std::vector<bool>{true});
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    fake.raiseEvents(ev::Ring);
    ASSERT_TRUE(serveMainThreadUntil([&] { return port.messages.size() == 2; }, 5000));
    EXPECT_EQ(port.messages.back(), 256u);
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    fake.raiseEvents(ev::Err | ev::Cts);
    ASSERT_TRUE(serveMainThreadUntil([&] { return port.messages.size() == 4; }, 5000));
    EXPECT_EQ(port.messages, (std::vector<std::uintptr_t>{32, 256, 128, 8}));
    port.OnRLSDChange = nullptr;
}

TEST(MonitorWindowSync, AHandlerErrorGoesToTheCentralHandlerAndMonitoringGoesOn) {
    FakeSerialApi fake;
    TComPort port(nullptr, &fake);
    port.SetSyncMethod(smWindowSync);
    std::vector<std::string> reported;
    SetApplicationExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported.push_back(x.what());
        }
    });
    std::vector<std::string> steps;
    port.SetConnected(true);
    port.OnCTSChange = [&](TObject*, bool) {
        steps.push_back("CTS");
        throw std::runtime_error("CTS handler failed");
    };
    port.OnDSRChange = [&](TObject*, bool) { steps.push_back("DSR"); };
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    fake.raiseEvents(ev::Cts | ev::Dsr);
    ASSERT_TRUE(serveMainThreadUntil([&] { return steps.size() == 2; }, 5000));
    EXPECT_EQ(steps, (std::vector<std::string>{"CTS", "DSR"}));
    EXPECT_EQ(reported, std::vector<std::string>{"CTS handler failed"});
    EXPECT_FALSE(port.MonitorThread()->Finished());
    port.OnCTSChange = nullptr;
    port.OnDSRChange = nullptr;
    port.SetConnected(false);
    SetApplicationExceptionHandler(nullptr);
}

TEST(MonitorNone, StepsRunOnTheMonitoringThread) {
    FakeSerialApi fake;
    TComPort port(nullptr, &fake);
    port.SetSyncMethod(smNone);
    std::atomic<bool> onMain{true};
    std::atomic<int> calls{0};
    port.SetConnected(true);
    port.OnCTSChange = [&](TObject*, bool) {
        onMain = platform::mainThreadQueue().isMainThread();
        ++calls;
    };
    ASSERT_TRUE(fake.waitUntilArmed(5000));
    fake.raiseEvents(ev::Cts);
    ASSERT_TRUE(eventually([&] { return calls.load() == 1; }));
    EXPECT_FALSE(onMain.load());
    port.OnCTSChange = nullptr;
}

TEST(MonitorClose, ClosingFromInsideAHandlerIsCarriedOutWhenItReturns) {
    for (TSyncMethod sync : {smThreadSync, smNone, smWindowSync}) {
        SCOPED_TRACE(int(sync));
        FakeSerialApi fake;
        TComPort port(nullptr, &fake);
        port.SetSyncMethod(sync);
        port.SetConnected(true);
        std::atomic<bool> stillOpenInside{false};
        port.OnRxChar = [&](TObject* sender, std::int32_t) {
            auto* self = static_cast<TComPort*>(sender);
            self->SetConnected(false);
            stillOpenInside = sync == smWindowSync ? !self->Connected() : self->Connected();
        };
        ASSERT_TRUE(fake.waitUntilArmed(5000));
        fake.queueInput("x");
        ASSERT_TRUE(serveMainThreadUntil([&] { return !port.Connected(); }, 5000));
        // Deferred while the monitoring thread waits for the handler; at once otherwise.
        EXPECT_TRUE(stillOpenInside.load());
        EXPECT_FALSE(fake.isOpen());
    }
}

class MonitorOnPty : public ::testing::Test {
protected:
    MonitorOnPty() { port.SetPort(pty.path()); }

    Pty pty;
    Recorder events;
    TComPort port{nullptr};
};

TEST_F(MonitorOnPty, CharactersArrivingAfterAReadStartTheNextBlock) {
    std::string received;
    int calls = 0;
    port.OnRxChar = [&](TObject*, std::int32_t) {
        ++calls;
        std::string text;
        port.ReadText(text, 10000);
        received += text;
    };
    port.SetConnected(true);
    pty.send("first block\r\n");
    ASSERT_TRUE(serveUntil([&] { return received == "first block\r\n"; }));
    pty.send("second\r\n");
    ASSERT_TRUE(serveUntil([&] { return received == "first block\r\nsecond\r\n"; }));
    EXPECT_GE(calls, 2);
}

// Bytes that reached the port before its line hung up are still reported and read before
// the port closes itself: here they come in while the handler of the batch before is still
// to run, and the hang-up is seen before that handler runs.
TEST_F(MonitorOnPty, BytesJustBeforeAHangUpAreReportedAndReadBeforeTheClose) {
    std::string received;
    port.OnRxChar = [&](TObject*, std::int32_t n) {
        events.add("RxChar " + std::to_string(n));
        std::string text;
        port.ReadText(text, received.empty() ? 5 : n);  // the first batch's own five
        received += text;
    };
    port.OnBeforeClose = [&](TObject*) { events.add("BeforeClose"); };
    port.OnAfterClose = [&](TObject*) { events.add("AfterClose"); };
    port.SetConnected(true);
    pty.send("first");
    // The monitoring thread now waits in the hand-over; the test thread is the main thread.
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    pty.send("last words");
    ASSERT_TRUE(eventually([&] { return port.WaitingInputCount() == 15; }));
    pty.closeFarSide();
    port.WaitingInputCount();  // looks at the line: the hang-up is seen here
    ASSERT_TRUE(serveUntil([&] { return !port.Connected(); }));
    EXPECT_EQ(received, "firstlast words");
    EXPECT_EQ(events.entries(),
              (std::vector<std::string>{"RxChar 15", "RxChar 10", "BeforeClose", "AfterClose"}));
}

TEST_F(MonitorOnPty, ABatchWhoseHandlerReadsNothingIsNotReportedAgain) {
    std::vector<std::int32_t> counts;
    port.OnRxChar = [&](TObject*, std::int32_t n) { counts.push_back(n); };
    port.SetConnected(true);
    pty.send("12345");
    // The report that saw all five (the pty may have passed them on in more than one go).
    ASSERT_TRUE(serveUntil([&] { return !counts.empty() && counts.back() == 5; }));
    const std::size_t reports = counts.size();
    // The five stay unread: nothing new arrived, so nothing is reported again.
    serveUntil([] { return false; }, 300);
    EXPECT_EQ(counts.size(), reports);
    pty.send("6");
    ASSERT_TRUE(serveUntil([&] { return counts.size() > reports; }));
    serveUntil([] { return false; }, 100);
    EXPECT_EQ(counts.size(), reports + 1);
    EXPECT_EQ(counts.back(), 6);
}

TEST_F(MonitorOnPty, EventCharacterAndEightyPercentFull) {
    port.SetEventChar('\x03');
    TComBuffer buffer;
    buffer.SetInputSize(100);
    port.SetBuffer(buffer);
    int flags = 0, full = 0;
    port.OnRxFlag = [&](TObject*) { ++flags; };
    port.OnRx80Full = [&](TObject*) { ++full; };
    port.SetConnected(true);
    pty.send("abc\x03");
    ASSERT_TRUE(serveUntil([&] { return flags == 1; }));
    EXPECT_EQ(full, 0);
    pty.send(std::string(76, 'z'));
    ASSERT_TRUE(serveUntil([&] { return full == 1; }));
    EXPECT_EQ(port.WaitingInputCount(), 80);
}

TEST_F(MonitorOnPty, UnpluggingClosesThePortWithItsNotifications) {
    TComLink link;
    std::vector<bool> connection;
    link.ConnectionChanged = [&](TObject*, bool on) { connection.push_back(on); };
    port.AttachLink(&link);
    port.SetConnected(true);
    events.attach(port);
    pty.send("partial");
    serveUntil([&] { return port.WaitingInputCount() == 7; });
    pty.closeFarSide();
    ASSERT_TRUE(serveUntil([&] { return !port.Connected(); }));
    EXPECT_EQ(connection, (std::vector<bool>{true, false}));
    const auto got = events.entries();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], "BeforeClose");
    EXPECT_EQ(got.back(), "AfterClose");
    EXPECT_EQ(port.DeviceHandle(), platform::kInvalidDevice);
    port.DetachLink(&link);
}

TEST_F(MonitorOnPty, ClosingPurgesUnreadInputAndReopensCleanly) {
    // A full input queue leaves the rest in the tty, and another descriptor keeps the tty
    // alive across the port's close: only the close's own purge can empty it.
    const int keeper = ::open(pty.path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    TComBuffer buffer;
    buffer.SetInputSize(100);
    port.SetBuffer(buffer);
    port.SetConnected(true);
    pty.send(std::string(150, 's'));
    ASSERT_TRUE(serveUntil([&] { return port.WaitingInputCount() == 100; }));
    auto inTheTty = [&] {
        int queued = -1;
        return ::ioctl(keeper, FIONREAD, &queued) == 0 ? queued : -1;
    };
    ASSERT_TRUE(eventually([&] { return inTheTty() == 50; })) << inTheTty();
    port.SetConnected(false);
    EXPECT_EQ(inTheTty(), 0);
    port.SetConnected(true);
    serveUntil([] { return false; }, 200);
    EXPECT_EQ(port.WaitingInputCount(), 0);
    pty.send("fresh");
    EXPECT_TRUE(serveUntil([&] { return port.WaitingInputCount() == 5; }));
    ::close(keeper);
}

TEST_F(MonitorOnPty, HundredsOfOpenCloseCyclesWithMonitoringLeakNothing) {
    port.SetConnected(true);
    port.SetConnected(false);
    // The process-wide hand-over queue makes its wake-up descriptor at its first wait, once.
    platform::serveMainThreadUntil([] { return false; }, 20);
    const int before = openDescriptorCount();
    for (int i = 0; i < 300; ++i) {
        port.SetConnected(true);
        if (i % 3 == 0) {
            pty.send("x");
        }
        port.SetConnected(false);
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

}  // namespace
