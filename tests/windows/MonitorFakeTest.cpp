// What Windows' serial driver does and Wine's does not, on the scriptable device with the
// Win32 signals and hand-over: a second open refused with ERROR_ACCESS_DENIED, line events
// kept while no wait is pending, EV_RXCHAR only for new bytes, input that survives the
// close's abort.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/LastError.h"
#include "platform/MainThread.h"
#include "platform/fake/FakeSerialApi.h"
#include "serial/CPort.h"

namespace {

using platform::FakeSerialApi;
using platform::serveMainThreadUntil;
namespace ev = platform::ev;
namespace ms = platform::ms;

class WindowsDevice : public ::testing::Test {
protected:
    void open() {
        port.SetConnected(true);
        ASSERT_TRUE(fake.waitUntilArmed(5000));
    }

    std::vector<std::string> seen;
    FakeSerialApi fake;
    TComPort port{nullptr, &fake};
};

TEST_F(WindowsDevice, ASecondOpenIsRefusedWithAccessDenied) {
    fake.failOn("open", platform::kErrorInUse);
    try {
        port.SetConnected(true);
        FAIL() << "opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), 5);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 5)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(WindowsDevice, ALineChangeWhileABatchIsHandledIsReportedByTheNextWait) {
    open();
    port.OnCTSChange = [&](TObject*, bool on) {
        seen.push_back(on ? "CTS on" : "CTS off");
        // No wait is pending now: the device keeps the change for the next one, which
        // then completes at once.
        fake.setModemStatus(ms::CtsOn | ms::DsrOn);
        fake.raiseEvents(ev::Dsr);
    };
    port.OnDSRChange = [&](TObject*, bool on) { seen.push_back(on ? "DSR on" : "DSR off"); };
    fake.setModemStatus(ms::CtsOn);
    fake.raiseEvents(ev::Cts);
    ASSERT_TRUE(serveMainThreadUntil([&] { return seen.size() >= 2; }, 5000));
    EXPECT_EQ(seen, (std::vector<std::string>{"CTS on", "DSR on"}));
    port.OnCTSChange = nullptr;
    port.OnDSRChange = nullptr;
}

TEST_F(WindowsDevice, BytesAHandlerLeavesQueuedAreNotReportedAgain) {
    open();
    std::vector<std::int32_t> counts;
    port.OnRxChar = [&](TObject*, std::int32_t n) { counts.push_back(n); };
    fake.queueInput("12345");
    ASSERT_TRUE(serveMainThreadUntil([&] { return !counts.empty(); }, 5000));
    serveMainThreadUntil([] { return false; }, 200);
    EXPECT_EQ(counts, std::vector<std::int32_t>{5});
    fake.queueInput("6");
    ASSERT_TRUE(serveMainThreadUntil([&] { return counts.size() == 2; }, 5000));
    EXPECT_EQ(counts.back(), 6);
    port.OnRxChar = nullptr;
}

TEST_F(WindowsDevice, AReceiveBatchPendingAtTheCloseStillFindsItsBytes) {
    open();
    port.OnRxChar = [&](TObject*, std::int32_t n) {
        seen.push_back("RxChar " + std::to_string(n) + (port.Connected() ? " (connected)" : ""));
    };
    port.OnBeforeClose = [&](TObject*) { seen.push_back("BeforeClose"); };
    fake.queueInput("xy");
    ASSERT_EQ(platform::waitForSignal(platform::mainThreadQueue().workSignal(), 5000),
              platform::kWaitObject0);
    port.SetConnected(false);
    EXPECT_EQ(seen, (std::vector<std::string>{"BeforeClose", "RxChar 2 (connected)"}));
}

}  // namespace
