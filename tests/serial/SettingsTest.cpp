// The settings objects on their own: change rules, copying, derived flow control.
#include <gtest/gtest.h>

#include "serial/CPort.h"

TEST(Settings, InitialValues) {
    TComTimeouts t;
    EXPECT_EQ(t.ReadInterval(), -1);
    EXPECT_EQ(t.ReadTotalMultiplier(), 0);
    EXPECT_EQ(t.ReadTotalConstant(), 0);
    EXPECT_EQ(t.WriteTotalMultiplier(), 100);
    EXPECT_EQ(t.WriteTotalConstant(), 1000);
    TComFlowControl f;
    EXPECT_EQ(f.XonChar(), 17);
    EXPECT_EQ(f.XoffChar(), 19);
    EXPECT_EQ(f.FlowControl(), fcNone);
    TComParity p;
    EXPECT_EQ(p.Bits(), prNone);
    EXPECT_FALSE(p.Check());
    TComBuffer b;
    EXPECT_EQ(b.InputSize(), 1024);
    EXPECT_EQ(b.OutputSize(), 1024);
    EXPECT_EQ(t.ComPort(), nullptr);
}

TEST(Settings, BufferSizesAreMadeEvenAfterTheEqualityTest) {
    struct Case {
        std::int32_t given, stored;
    } cases[] = {{4097, 4096}, {4096, 4096}, {-3, -3}, {1, 0}, {0, 0}, {7, 6}};
    for (const Case& c : cases) {
        TComBuffer b;
        b.SetInputSize(c.given);
        b.SetOutputSize(c.given);
        EXPECT_EQ(b.InputSize(), c.stored) << c.given;
        EXPECT_EQ(b.OutputSize(), c.stored) << c.given;
    }
}

TEST(Settings, DerivedFlowControlRead) {
    struct Case {
        TRTSFlowControl rts;
        bool cts, xin, xout;
        TFlowControl expected;
    } cases[] = {
        {rtsHandshake, true, false, false, fcHardware}, {rtsDisable, false, true, true, fcSoftware},
        {rtsDisable, false, false, false, fcNone},      {rtsHandshake, true, true, false, fcCustom},
        {rtsEnable, false, false, false, fcCustom},     {rtsDisable, false, true, false, fcCustom},
        {rtsDisable, true, false, false, fcCustom},     {rtsToggle, false, true, true, fcCustom},
    };
    for (const Case& c : cases) {
        TComFlowControl f;
        f.SetControlRTS(c.rts);
        f.SetOutCTSFlow(c.cts);
        f.SetXonXoffIn(c.xin);
        f.SetXonXoffOut(c.xout);
        // DTR, DSR flow, sensitivity and the characters play no part.
        f.SetControlDTR(dtrHandshake);
        f.SetOutDSRFlow(true);
        f.SetXonChar('a');
        EXPECT_EQ(f.FlowControl(), c.expected) << int(c.rts) << c.cts << c.xin << c.xout;
    }
}

TEST(Settings, DerivedFlowControlWrite) {
    TComFlowControl f;
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.FlowControl(), fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    f.SetControlDTR(dtrHandshake);
    EXPECT_EQ(f.FlowControl(), fcHardware);

    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());
    EXPECT_EQ(f.ControlDTR(), dtrHandshake);

    f.SetControlRTS(rtsEnable);
    f.SetFlowControl(fcCustom);
    EXPECT_EQ(f.ControlRTS(), rtsEnable);
    EXPECT_TRUE(f.XonXoffIn());

    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.FlowControl(), fcNone);
    EXPECT_FALSE(f.XonXoffIn());
}

TEST(Settings, AssignCopiesWithoutSettersAndRefusesOtherClasses) {
    TComBuffer a;
    TComParity p;
    p.SetBits(prEven);
    p.SetCheck(true);
    p.SetReplaceChar('?');
    TComParity q;
    q.Assign(p);
    EXPECT_EQ(q.Bits(), prEven);
    EXPECT_TRUE(q.Check());
    EXPECT_EQ(q.ReplaceChar(), '?');
    EXPECT_THROW(q.Assign(a), Exception);
    EXPECT_EQ(q.Bits(), prEven);
    TComTimeouts t;
    EXPECT_THROW(t.Assign(TComFlowControl()), Exception);
}
