// The main window's traffic screens, keys and clear button, on a real window of the face.
#include <gtest/gtest.h>

#include "tests/app/Face.h"

namespace {

using face::Control;

class Screens : public ::testing::Test {
protected:
    std::vector<std::string> host() { return window.Lines(Control::HostEkrani); }
    std::vector<std::string> info() { return window.Lines(Control::BilgiEkrani); }
    bool infoEnabled() { return window.Enabled(Control::BilgiEkrani); }
    void pressF5(Control focused, TShiftState shift = {}) {
        window.Focus(focused);
        window.PressKey(kKeyF5, shift);
    }

    face::Window window;
    TCustomAnaForm& form = window.Form();
};

TEST_F(Screens, HostScreenEmptiesItselfAtThe251stLine) {
    for (int i = 1; i <= 250; ++i) {
        form.HostEkraninaMesajYaz("line " + std::to_string(i));
    }
    EXPECT_EQ(host().size(), 250u);
    EXPECT_EQ(form.HostShownLineCount(), 250);
    EXPECT_EQ(host().back(), "line 250");
    form.HostEkraninaMesajYaz("line 251");
    EXPECT_TRUE(host().empty());
    form.HostEkraninaMesajYaz("line 252");
    EXPECT_EQ(host(), std::vector<std::string>{"line 252"});
}

TEST_F(Screens, AWrappedMessageCountsOncePerShownLine) {
    const std::string longLine(600, 'W');
    form.HostEkraninaMesajYaz(longLine);
    const int shown = form.HostShownLineCount();
    ASSERT_GT(shown, 1) << "600 characters should wrap at the screen's width";
    // Fill up to exactly 250 shown lines, then one more line empties the screen.
    for (int i = shown; i < 250; ++i) {
        form.HostEkraninaMesajYaz("x");
    }
    EXPECT_EQ(form.HostShownLineCount(), 250);
    EXPECT_EQ(host().size(), static_cast<std::size_t>(250 - shown + 1));
    form.HostEkraninaMesajYaz("y");
    EXPECT_TRUE(host().empty());
}

// The count is the control's own even before the host page was shown, and after the
// window was resized on another page.
TEST(ScreensBeforeTheHostPage, WrappedLinesCountAsTheyWillBeShown) {
    face::Window window(0);
    TCustomAnaForm& form = window.Form();
    const std::string longLine(600, 'W');
    form.HostEkraninaMesajYaz(longLine);
    const int hidden = form.HostShownLineCount();
    window.ShowPage(1);
    EXPECT_EQ(hidden, form.HostShownLineCount());
    EXPECT_GT(hidden, 1);

    window.ShowPage(0);
    window.Resize(700, 408);
    form.HostEkraninaMesajYaz(longLine);
    const int resized = form.HostShownLineCount();
    window.ShowPage(1);
    EXPECT_EQ(resized, form.HostShownLineCount());
    EXPECT_LT(resized, 2 * hidden) << "the wider screen wraps each message in fewer lines";
}

// A user clicked into the host screen; new messages still start lines of their own, and
// the newest is in view.
TEST_F(Screens, AnAppendLeavesTheInsertionPointOnTheEmptyLineBelowInView) {
    for (int i = 1; i <= 40; ++i) {
        form.HostEkraninaMesajYaz("line " + std::to_string(i));
    }
    window.Focus(Control::HostEkrani);
    window.Click(Control::HostEkrani);
    form.HostEkraninaMesajYaz("newest");
    EXPECT_TRUE(window.InsertionPointInView(Control::HostEkrani));
    window.Type("abc");
    const auto lines = host();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "newest");
    EXPECT_EQ(lines.back(), "abc");
}

TEST_F(Screens, InfoScreenSpellsOutControlCharacters) {
    struct Case {
        std::string bytes;
        std::string rendered;
    } cases[] = {
        {"12\r\nA B", "12<CR><LF>A B"},
        {std::string("ab\0cd", 5), "ab<NUL>cd"},
        {"\x0C\x1A\x1B\x1F\x7F", "<NP><EOF><ESC><US>\x7F"},
        {"\xFF\xFE\x80", "\xFF\xFE\x80"},
        {"", ""},
        {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0B\x0E\x0F",
         "<SOH><STX><ETX><EOT><ENQ><ACK><BEL><BS><TAB><VT><SO><SI>"},
        {"\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1C\x1D\x1E",
         "<DLE><DC1><DC2><DC3><DC4><NAK><SYN><ETB><CAN><EM><FS><GS><RS>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RenderForBilgiEkrani(c.bytes), c.rendered);
    }
    form.BilgiEkraninaMesajYaz("12\r\nA B");
    form.BilgiEkraninaMesajYaz(std::string("x\0y", 3));
    form.BilgiEkraninaMesajYaz("");
    form.BilgiEkraninaMesajYaz("\x7F\xFF\xDE\xFD\xD0\xF0\xDD");
    const std::vector<std::string> shown = info();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], "12<CR><LF>A B");
    EXPECT_EQ(shown[1], "x<NUL>y");
    EXPECT_EQ(shown[2], "");
    // Bytes above 127 are shown as the code page's characters (127 and 255 included).
    EXPECT_EQ(shown[3], "\x7F\xC3\xBF\xC5\x9E\xC4\xB1\xC4\x9E\xC4\x9F\xC4\xB0");
}

TEST_F(Screens, F5AnywhereSwitchesTheInfoScreenAndCtrlF5InTheHostScreenEnablesIt) {
    ASSERT_TRUE(infoEnabled());
    pressF5(Control::HostEkrani);
    EXPECT_FALSE(infoEnabled());
    pressF5(Control::HostEkrani);
    EXPECT_TRUE(infoEnabled());

    // Ctrl+F5 in the host screen: the window switches first, then the screen enables.
    pressF5(Control::HostEkrani, {ssCtrl});
    EXPECT_TRUE(infoEnabled());
    pressF5(Control::HostEkrani);
    ASSERT_FALSE(infoEnabled());
    pressF5(Control::HostEkrani, {ssCtrl});
    EXPECT_TRUE(infoEnabled());

    // Ctrl+Shift+F5 acts as F5 alone.
    pressF5(Control::HostEkrani, {ssCtrl, ssShift});
    EXPECT_FALSE(infoEnabled());
    pressF5(Control::HostEkrani, {ssCtrl, ssShift});
    EXPECT_TRUE(infoEnabled());

    // Another control focused: Ctrl+F5 acts as F5.
    pressF5(Control::RzPageControl1, {ssCtrl});
    EXPECT_FALSE(infoEnabled());
    pressF5(Control::RzPageControl1, {ssCtrl});
    EXPECT_TRUE(infoEnabled());

    // The keys are not consumed: the host screen still gets its own key presses.
    window.Focus(Control::HostEkrani);
    window.PressKey(kKeyF5);
    window.Type("ok");
    ASSERT_FALSE(host().empty());
    EXPECT_NE(host().back().find("ok"), std::string::npos);
}

TEST_F(Screens, ADisabledInfoScreenTakesNoInputButStillGetsBlocks) {
    pressF5(Control::HostEkrani);
    ASSERT_FALSE(infoEnabled());
    window.Focus(Control::BilgiEkrani);
    EXPECT_FALSE(window.HasFocus(Control::BilgiEkrani));
    form.BilgiEkraninaMesajYaz("block while disabled\r");
    EXPECT_EQ(info(), std::vector<std::string>{"block while disabled<CR>"});
    EXPECT_TRUE(window.InfoPaintedAsButtonFace());
}

TEST_F(Screens, ClearButtonEmptiesBothScreensInEveryState) {
    for (bool infoEnabled : {true, false}) {
        form.SetInfoEnabled(infoEnabled);
        for (int i = 0; i < 240; ++i) {
            form.HostEkraninaMesajYaz("line");
        }
        form.BilgiEkraninaMesajYaz("block");
        window.Click(Control::RzBitBtn1);
        EXPECT_TRUE(host().empty());
        EXPECT_TRUE(info().empty());
        EXPECT_EQ(window.Enabled(Control::BilgiEkrani), infoEnabled);
        // The host screen's count starts again from 0.
        for (int i = 0; i < 250; ++i) {
            form.HostEkraninaMesajYaz("again");
        }
        EXPECT_EQ(form.HostShownLineCount(), 250);
        window.Click(Control::RzBitBtn1);
    }
    form.HostEkraninaMesajYaz("after clearing an empty screen");
    window.Click(Control::RzBitBtn1);
    window.Click(Control::RzBitBtn1);
    EXPECT_TRUE(host().empty());
}

TEST_F(Screens, InfoScreenKeepsItsNewestLinesOnly) {
    constexpr int kKept = 500;  // the workstation's bound, as documented
    const int total = kKept + 25;
    for (int i = 1; i <= total; ++i) {
        form.BilgiEkraninaMesajYaz("block " + std::to_string(i));
    }
    const std::vector<std::string> shown = info();
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(kKept));
    EXPECT_EQ(shown.front(), "block " + std::to_string(total - kKept + 1));
    EXPECT_EQ(shown.back(), "block " + std::to_string(total));
}

}  // namespace
