// The port against the scriptable device: which device calls each setting makes, the open
// and close sequences with their failures, the line-settings record, status mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/LastError.h"
#include "platform/fake/FakeSerialApi.h"
#include "serial/CPort.h"

namespace {

using platform::FakeSerialApi;
namespace f = platform::dcbflag;

class PortOnFake : public ::testing::Test {
protected:
    PortOnFake() {
        port.SetPort("COM3");
        port.SetEvents(TComEvents());
    }

    // Records every notification the port gives, in order.
    void recordNotifications() {
        port.OnBeforeOpen = [this](TObject*) { log.push_back("BeforeOpen"); };
        port.OnAfterOpen = [this](TObject*) { log.push_back("AfterOpen"); };
        port.OnBeforeClose = [this](TObject*) { log.push_back("BeforeClose"); };
        port.OnAfterClose = [this](TObject*) { log.push_back("AfterClose"); };
        port.OnCTSChange = [this](TObject*, bool on) { log.push_back(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TObject*, bool on) { log.push_back(on ? "DSR on" : "DSR off"); };
        port.OnRLSDChange = [this](TObject*, bool on) {
            log.push_back(on ? "RLSD on" : "RLSD off");
        };
        link.ConnectionChanged = [this](TObject*, bool on) {
            log.push_back(on ? "link conn on" : "link conn off");
        };
        port.AttachLink(&link);
    }

    std::size_t count(const std::string& name) const {
        std::size_t n = 0;
        for (const std::string& call : fake.callNames()) {
            n += call == name;
        }
        return n;
    }

    // Declared before the port: its destruction still notifies them.
    std::vector<std::string> log;
    TComLink link;
    FakeSerialApi fake;
    TComPort port{nullptr, &fake};
};

TEST_F(PortOnFake, ClosedPortAcceptsEverySettingWithoutADeviceCall) {
    port.SetBaudRate(br115200);
    port.SetCustomBaudRate(1234);
    port.SetStopBits(sbTwoStopBits);
    port.SetDataBits(dbSeven);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.SetSyncMethod(smNone);
    port.Parity().SetBits(prOdd);
    port.FlowControl().SetFlowControl(fcHardware);
    port.Timeouts().SetReadInterval(5);
    port.Buffer().SetInputSize(8192);
    port.SetBuffer(TComBuffer());
    port.SetParity(TComParity());
    port.SetTimeouts(TComTimeouts());
    port.SetFlowControl(TComFlowControl());
    port.SetPort("COM4");
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(PortOnFake, FirstOpenAppliesQueuesLineSettingsAndTimeoutsInThatOrderOnce) {
    port.SetConnected(true);
    ASSERT_TRUE(port.Connected());
    const std::vector<std::string> expected = {"open(\\\\.\\COM3)", "setupQueues(1024, 1024)",
                                               "setLineSettings(9600, 0x1)",
                                               "setTimeouts(0xFFFFFFFF, 0, 0, 100, 1000)"};
    const auto calls = fake.calls();
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4), expected);
    EXPECT_EQ(count("setupQueues"), 1u);
    EXPECT_EQ(count("setLineSettings"), 1u);
    EXPECT_EQ(count("setTimeouts"), 1u);
    EXPECT_NE(port.DeviceHandle(), platform::kInvalidDevice);
}

TEST_F(PortOnFake, SystemSettingsGiveExactlyTheDeviceRecord) {
    port.Buffer().SetInputSize(4096);
    port.Buffer().SetOutputSize(4096);
    port.SetConnected(true);
    const platform::Dcb dcb = fake.lastDcb();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, 0x1u);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);
    EXPECT_EQ(dcb.wReserved, 0);
    EXPECT_EQ(dcb.wReserved1, 0);
    EXPECT_EQ(fake.calls()[1], "setupQueues(4096, 4096)");
    const platform::CommTimeouts t = fake.lastTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(PortOnFake, LineSettingsRecordMapping) {
    struct Case {
        const char* name;
        std::function<void(TComPort&)> set;
        std::function<void(const platform::Dcb&)> check;
    };
    const std::vector<Case> cases = {
        {"custom rate",
         [](TComPort& p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(250000);
         },
         [](const platform::Dcb& d) { EXPECT_EQ(d.BaudRate, 250000u); }},
        {"custom rate initial", [](TComPort& p) { p.SetBaudRate(brCustom); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.BaudRate, 9600u); }},
        {"named rate ignores custom",
         [](TComPort& p) {
             p.SetBaudRate(br56000);
             p.SetCustomBaudRate(7);
         },
         [](const platform::Dcb& d) { EXPECT_EQ(d.BaudRate, 56000u); }},
        {"rate 256000", [](TComPort& p) { p.SetBaudRate(br256000); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.BaudRate, 256000u); }},
        {"parity check", [](TComPort& p) { p.Parity().SetCheck(true); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | f::Parity); }},
        {"replace without check",
         [](TComPort& p) {
             p.Parity().SetReplace(true);
             p.Parity().SetReplaceChar('?');
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.Flags, f::Binary);
             EXPECT_EQ(d.ErrorChar, 0);
         }},
        {"replace with check",
         [](TComPort& p) {
             p.Parity().SetCheck(true);
             p.Parity().SetReplace(true);
             p.Parity().SetReplaceChar('?');
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.Flags, f::Binary | f::Parity | f::ErrorChar);
             EXPECT_EQ(d.ErrorChar, '?');
         }},
        {"cts and dsr flow",
         [](TComPort& p) {
             p.FlowControl().SetOutCTSFlow(true);
             p.FlowControl().SetOutDSRFlow(true);
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.Flags, f::Binary | f::OutxCtsFlow | f::OutxDsrFlow);
         }},
        {"dtr enable", [](TComPort& p) { p.FlowControl().SetControlDTR(dtrEnable); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x10u); }},
        {"dtr handshake", [](TComPort& p) { p.FlowControl().SetControlDTR(dtrHandshake); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x20u); }},
        {"dsr sensitivity, tx continue",
         [](TComPort& p) {
             p.FlowControl().SetDSRSensitivity(true);
             p.FlowControl().SetTxContinueOnXoff(true);
         },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x40u | 0x80u); }},
        {"software flow",
         [](TComPort& p) {
             p.FlowControl().SetFlowControl(fcSoftware);
             p.FlowControl().SetXonChar('Q');
             p.FlowControl().SetXoffChar('S');
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.Flags, f::Binary | 0x100u | 0x200u);
             EXPECT_EQ(d.XonChar, 'Q');
             EXPECT_EQ(d.XoffChar, 'S');
         }},
        {"hardware flow", [](TComPort& p) { p.FlowControl().SetFlowControl(fcHardware); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | f::OutxCtsFlow | 0x2000u); }},
        {"rts enable", [](TComPort& p) { p.FlowControl().SetControlRTS(rtsEnable); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x1000u); }},
        {"rts toggle", [](TComPort& p) { p.FlowControl().SetControlRTS(rtsToggle); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x3000u); }},
        {"discard null", [](TComPort& p) { p.SetDiscardNull(true); },
         [](const platform::Dcb& d) { EXPECT_EQ(d.Flags, f::Binary | 0x800u); }},
        {"sizes and framing",
         [](TComPort& p) {
             p.SetDataBits(dbFive);
             p.SetStopBits(sbOne5StopBits);
             p.Parity().SetBits(prSpace);
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.ByteSize, 5);
             EXPECT_EQ(d.StopBits, 1);
             EXPECT_EQ(d.Parity, 4);
         }},
        {"seven, two, mark",
         [](TComPort& p) {
             p.SetDataBits(dbSeven);
             p.SetStopBits(sbTwoStopBits);
             p.Parity().SetBits(prMark);
         },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.ByteSize, 7);
             EXPECT_EQ(d.StopBits, 2);
             EXPECT_EQ(d.Parity, 3);
         }},
        {"flow limits follow input size", [](TComPort& p) { p.Buffer().SetInputSize(1002); },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.XonLim, 250);
             EXPECT_EQ(d.XoffLim, 250);
         }},
        {"event char", [](TComPort& p) { p.SetEventChar('\r'); },
         [](const platform::Dcb& d) {
             EXPECT_EQ(d.EvtChar, '\r');
             EXPECT_EQ(d.EofChar, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSerialApi device;
        TComPort p(nullptr, &device);
        p.SetEvents(TComEvents());
        c.set(p);
        p.SetConnected(true);
        c.check(device.lastDcb());
        EXPECT_EQ(device.lastDcb().DCBlength, 28u);
    }
}

TEST_F(PortOnFake, EachConfigurationFailureDuringOpenReleasesTheDevice) {
    struct Case {
        const char* call;
        int code;
    } cases[] = {{"setupQueues", 9}, {"setLineSettings", 7}, {"setTimeouts", 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        FakeSerialApi device;
        TComPort p(nullptr, &device);
        std::vector<std::string> seen;
        p.OnBeforeOpen = [&](TObject*) { seen.push_back("BeforeOpen"); };
        p.OnAfterOpen = [&](TObject*) { seen.push_back("AfterOpen"); };
        p.OnAfterClose = [&](TObject*) { seen.push_back("AfterClose"); };
        device.failOn(c.call, 22);
        try {
            p.SetConnected(true);
            ADD_FAILURE() << "no error";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorNumber(), c.code);
            EXPECT_EQ(e.SystemError(), 22);
        }
        EXPECT_FALSE(p.Connected());
        EXPECT_FALSE(device.isOpen());
        EXPECT_EQ(p.DeviceHandle(), platform::kInvalidDevice);
        EXPECT_EQ(seen, std::vector<std::string>{"BeforeOpen"});
        EXPECT_EQ(device.callNames().back(), "close");
    }
}

TEST_F(PortOnFake, OpenFailureRaisesCodeOneAndGivesNoFurtherNotification) {
    recordNotifications();
    fake.failOn("open", 13);
    try {
        port.SetConnected(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 1);
        EXPECT_EQ(e.SystemError(), 13);
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log, std::vector<std::string>{"BeforeOpen"});
}

TEST_F(PortOnFake, EqualValuesMakeNoDeviceCallWhileAssigningReapplies) {
    port.SetConnected(true);
    fake.clearCalls();
    port.SetBaudRate(br9600);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.SetDiscardNull(false);
    port.SetEventChar(0);
    port.SetCustomBaudRate(9600);
    port.Parity().SetBits(prNone);
    port.Timeouts().SetReadInterval(-1);
    port.Buffer().SetInputSize(1024);
    port.FlowControl().SetControlRTS(rtsDisable);
    port.SetPort("COM3");
    port.SetSyncMethod(smThreadSync);
    EXPECT_TRUE(fake.calls().empty());

    port.SetParity(port.Parity());
    port.SetFlowControl(TComFlowControl());
    port.SetTimeouts(TComTimeouts());
    port.SetBuffer(TComBuffer());
    port.FlowControl().SetFlowControl(fcNone);
    EXPECT_EQ(fake.callNames(),
              (std::vector<std::string>{"setLineSettings", "setLineSettings", "setTimeouts",
                                        "setupQueues", "setLineSettings"}));
}

TEST_F(PortOnFake, ChangesWhileOpenReachTheDeviceAtOnce) {
    port.SetConnected(true);
    fake.clearCalls();
    port.SetBaudRate(br19200);
    EXPECT_EQ(fake.lastDcb().BaudRate, 19200u);
    port.Timeouts().SetReadTotalConstant(250);
    EXPECT_EQ(fake.lastTimeouts().ReadTotalTimeoutConstant, 250u);
    port.Buffer().SetInputSize(4097);
    EXPECT_EQ(fake.calls().back(), "setupQueues(4096, 1024)");
    // Applying the queue sizes alone leaves the flow limits as they were.
    EXPECT_EQ(fake.lastDcb().XonLim, 256);
    EXPECT_EQ(fake.callNames(),
              (std::vector<std::string>{"setLineSettings", "setTimeouts", "setupQueues"}));
}

TEST_F(PortOnFake, RefusedChangeWhileOpenKeepsTheNewValueStored) {
    port.SetConnected(true);
    fake.failOn("setLineSettings", 87, 1);
    EXPECT_THROW(port.SetBaudRate(br38400), EComPort);
    EXPECT_EQ(port.BaudRate(), br38400);
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortOnFake, SyncMethodCannotChangeWhileOpen) {
    port.SetConnected(true);
    try {
        port.SetSyncMethod(smNone);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 14);
        EXPECT_EQ(e.SystemError(), -1);
        EXPECT_STREQ(e.what(), "Cannot set property while connected");
    }
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.SetSyncMethod(smThreadSync);  // equal: accepted
}

TEST_F(PortOnFake, OpenAndCloseNotificationsInOrder) {
    fake.setModemStatus(platform::ms::CtsOn | platform::ms::RlsdOn);
    recordNotifications();
    port.SetConnected(true);
    port.SetConnected(false);
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "link conn on", "AfterOpen", "CTS on",
                                             "DSR off", "RLSD on", "CTS off", "DSR off", "RLSD off",
                                             "BeforeClose", "link conn off", "AfterClose"}));
    EXPECT_EQ(port.DeviceHandle(), platform::kInvalidDevice);
    log.clear();
    port.ClosePort();
    port.SetConnected(false);
    EXPECT_TRUE(log.empty());
}

TEST_F(PortOnFake, ClosingDoesNotReadTheLinesAndAbortsTransfersFirst) {
    port.SetConnected(true);
    fake.clearCalls();
    port.SetConnected(false);
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"purge(0x3)", "close()"}));
}

TEST_F(PortOnFake, FailedAbortStopsTheClose) {
    port.SetConnected(true);
    fake.failOn("purge", 5, 1);
    try {
        port.SetConnected(false);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 5);
    }
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(fake.isOpen());
    port.SetConnected(false);
    EXPECT_FALSE(fake.isOpen());
}

TEST_F(PortOnFake, ChangingThePortOfAnOpenPortReopensIt) {
    recordNotifications();
    port.SetConnected(true);
    log.clear();
    port.SetPort("COM7");
    EXPECT_EQ(fake.openedPath(), "\\\\.\\COM7");
    EXPECT_EQ(log,
              (std::vector<std::string>{"CTS off", "DSR off", "RLSD off", "BeforeClose",
                                        "link conn off", "AfterClose", "BeforeOpen", "link conn on",
                                        "AfterOpen", "CTS off", "DSR off", "RLSD off"}));
    fake.failOn("open", 2);
    EXPECT_THROW(port.SetPort("COM9"), EComPort);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "COM9");
    // Names compare exactly: another case is another name.
    fake.clearFailures();
    port.SetConnected(true);
    fake.clearCalls();
    port.SetPort("com9");
    EXPECT_EQ(fake.openedPath(), "\\\\.\\com9");
}

TEST_F(PortOnFake, LineSignalFailureAfterOpenPropagatesWithThePortOpen) {
    fake.failOn("modemStatus", 31);
    try {
        port.SetConnected(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 11);
        EXPECT_EQ(e.SystemError(), 31);
    }
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortOnFake, LoadingStoresAndFinishLoadingOpens) {
    port.BeginLoading();
    port.SetConnected(true);
    port.SetBaudRate(br4800);
    port.SetSyncMethod(smNone);
    port.SetPort("COM5");
    EXPECT_TRUE(fake.calls().empty());
    port.FinishLoading();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(fake.openedPath(), "\\\\.\\COM5");
    EXPECT_EQ(fake.lastDcb().BaudRate, 4800u);
}

TEST_F(PortOnFake, FailedOpenAtTheEndOfLoadingGoesToTheCentralHandler) {
    std::vector<int> reported;
    SetApplicationExceptionHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const EComPort& e) {
            reported.push_back(e.ErrorNumber());
        }
    });
    fake.failOn("open", 2);
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_NO_THROW(port.FinishLoading());
    SetApplicationExceptionHandler(nullptr);
    EXPECT_EQ(reported, std::vector<int>{1});
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortOnFake, LinksRegisterOnceAndUnregisterOnce) {
    TComLink other;
    port.AttachLink(&link);
    port.AttachLink(&other);
    try {
        port.AttachLink(&link);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 18);
        EXPECT_EQ(e.SystemError(), -1);
    }
    EXPECT_EQ(port.Links(), (std::vector<TComLink*>{&link, &other}));
    port.DetachLink(&link);
    EXPECT_THROW(port.DetachLink(&link), EComPort);
    EXPECT_EQ(port.Links(), std::vector<TComLink*>{&other});
    EXPECT_FALSE(port.HasDataLink());
    other.DataReceived = [](TObject*, const char*, std::int32_t) {};
    port.DetachLink(&other);
    port.AttachLink(&other);
    EXPECT_TRUE(port.HasDataLink());
}

TEST_F(PortOnFake, LineErrorsMapAndParityCountsOnlyWhileChecked) {
    namespace ce = platform::ce;
    port.SetConnected(true);
    fake.addLineErrors(ce::Frame | ce::RxParity | ce::Overrun | ce::Break | ce::IoE | ce::Mode |
                       ce::RxOver | ce::TxFull | 0x0020 /* not ours */);
    const TComErrors all = {ceFrame, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull};
    EXPECT_EQ(port.ReadLineErrors(), all);
    EXPECT_TRUE(port.ReadLineErrors().Empty());  // the query cleared them

    fake.addLineErrors(ce::RxParity);
    port.Parity().SetCheck(true);
    EXPECT_EQ(port.ReadLineErrors(), TComErrors{ceRxParity});

    // The count query clears the same pending flags.
    fake.addLineErrors(ce::Frame);
    EXPECT_EQ(port.WaitingInputCount(), 0);
    EXPECT_TRUE(port.ReadLineErrors().Empty());
}

TEST_F(PortOnFake, LineSignalsMap) {
    port.SetConnected(true);
    fake.setModemStatus(platform::ms::CtsOn | platform::ms::RlsdOn);
    EXPECT_EQ(port.ReadLineSignals(), (TLineSignals{CTS, RLSD}));
    fake.setModemStatus(platform::ms::DsrOn | platform::ms::RingOn | 0x0F);
    EXPECT_EQ(port.ReadLineSignals(), (TLineSignals{DSR, Ring}));
}

TEST_F(PortOnFake, QueryFailuresRaiseTheirCodes) {
    port.SetConnected(true);
    fake.failOn("queryStatus", 6);
    fake.failOn("modemStatus", 6);
    fake.failOn("startRead", 6);
    fake.failOn("purge", 6);
    auto code = [](auto&& operation) {
        try {
            operation();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.SystemError(), 6);
            return e.ErrorNumber();
        }
        return 0;
    };
    std::string text;
    EXPECT_EQ(code([&] { port.WaitingInputCount(); }), 10);
    EXPECT_EQ(code([&] { port.ReadLineErrors(); }), 10);
    EXPECT_EQ(code([&] { port.ReadLineSignals(); }), 11);
    EXPECT_EQ(code([&] { port.ReadText(text, 10); }), 3);
    EXPECT_EQ(text.size(), 10u);  // keeps the requested length
    EXPECT_EQ(code([&] { port.AbortTransfers(); }), 5);
    fake.clearFailures();
}

TEST_F(PortOnFake, ReadsNotifyReceiveActivityOffOnlyWhenTheQueueRunsEmpty) {
    std::vector<bool> activity;
    link.ReceiveActivity = [&](TObject*, bool on) { activity.push_back(on); };
    port.AttachLink(&link);
    port.SetConnected(true);
    fake.queueInput("abcdef");
    std::string text;
    EXPECT_EQ(port.ReadText(text, 4), 4);
    EXPECT_EQ(text, "abcd");
    EXPECT_TRUE(activity.empty());
    EXPECT_EQ(port.ReadText(text, 10000), 2);
    EXPECT_EQ(text, "ef");
    EXPECT_EQ(activity, std::vector<bool>{false});

    fake.clearCalls();
    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_EQ(port.ReadText(text, -4), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(activity.size(), 1u);
    EXPECT_EQ(count("startRead"), 0u);
}

TEST_F(PortOnFake, TransferRecords) {
    port.SetConnected(true);
    PComTransfer transfer = CreateTransfer();
    EXPECT_EQ(port.WaitForTransfer(transfer), 0);  // nothing started: at once
    fake.queueInput("xyz");
    char buffer[8] = {};
    port.StartReadBuffer(buffer, 8, transfer);
    EXPECT_EQ(port.WaitForTransfer(transfer), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
    DisposeTransfer(transfer);
    EXPECT_EQ(transfer, nullptr);

    auto code = [&](auto&& operation) {
        try {
            operation();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.SystemError(), -1);
            return e.ErrorNumber();
        }
        return 0;
    };
    EXPECT_EQ(code([&] { port.StartReadBuffer(buffer, 8, nullptr); }), 4);
    EXPECT_EQ(code([&] { port.WaitForTransfer(nullptr); }), 4);
    std::string text;
    EXPECT_EQ(code([&] { port.StartReadText(text, 8, nullptr); }), 4);

    // Nothing to wait for is nothing to wait for, on a closed port too.
    port.SetConnected(false);
    transfer = CreateTransfer();
    EXPECT_EQ(port.WaitForTransfer(transfer), 0);
    DisposeTransfer(transfer);
    for (const std::int32_t count : {0, -1}) {
        text = "old";
        EXPECT_EQ(port.ReadText(text, count), 0);
        EXPECT_EQ(text, "");
    }
}

TEST_F(PortOnFake, DestructionClosesFirstThenTellsObservers) {
    struct Observer : TComponentObserver {
        std::vector<std::string>* log;
        TComPort* port;
        void Notification(TComponent* c, TOperation op) override {
            if (c == port && op == TOperation::opRemove) {
                log->push_back(port->Connected() ? "told while open" : "told after close");
            }
        }
    };
    auto owned = std::make_unique<TComPort>(nullptr, &fake);
    owned->SetEvents(TComEvents());
    Observer observer;
    observer.log = &log;
    observer.port = owned.get();
    owned->FreeNotification(&observer);
    owned->OnAfterClose = [this](TObject*) { log.push_back("AfterClose"); };
    owned->SetConnected(true);
    owned.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"AfterClose", "told after close"}));
    EXPECT_FALSE(fake.isOpen());
}

TEST_F(PortOnFake, AnOwnerDestroysItsComponents) {
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* owned = new TComPort(owner.get(), &fake);
    owned->SetEvents(TComEvents());
    owned->SetConnected(true);
    owner.reset();
    EXPECT_FALSE(fake.isOpen());
}

}  // namespace
