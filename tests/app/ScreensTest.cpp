// The main window's traffic screens, keys and clear button, on a real window.
#include <gtest/gtest.h>

#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>

#include "app/AnaUnit.h"
#include "ui_AnaForm.h"

namespace {

class Screens : public ::testing::Test {
protected:
    Screens() {
        form.SetStartUpOnShow(false);
        form.show();
        form.Controls().RzPageControl1->setCurrentIndex(1);
        QCoreApplication::processEvents();
    }
    // Lines as the screen holds them, without the empty line of the insertion point.
    static QStringList lines(QTextEdit* screen) {
        QStringList out = screen->toPlainText().split(QLatin1Char('\n'));
        if (!out.isEmpty() && out.back().isEmpty()) {
            out.pop_back();
        }
        return out;
    }
    void press(QWidget* target, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        target->setFocus();
        QCoreApplication::processEvents();
        // Keys go to the control that really has the focus (a tab widget's tab bar).
        QTest::keyClick(form.focusWidget(), Qt::Key_F5, modifiers);
    }

    TAnaForm form;
};

TEST_F(Screens, HostScreenEmptiesItselfAtThe251stLine) {
    for (int i = 1; i <= 250; ++i) {
        form.HostEkraninaMesajYaz("line " + std::to_string(i));
    }
    EXPECT_EQ(lines(form.HostEkrani()).size(), 250);
    EXPECT_EQ(form.HostEkraniLineCount(), 250);
    EXPECT_EQ(lines(form.HostEkrani()).back(), QStringLiteral("line 250"));
    form.HostEkraninaMesajYaz("line 251");
    EXPECT_TRUE(form.HostEkrani()->toPlainText().isEmpty());
    form.HostEkraninaMesajYaz("line 252");
    EXPECT_EQ(lines(form.HostEkrani()), QStringList{QStringLiteral("line 252")});
}

TEST_F(Screens, AWrappedMessageCountsOncePerShownLine) {
    const std::string longLine(600, 'W');
    form.HostEkraninaMesajYaz(longLine);
    const int shown = form.HostEkraniLineCount();
    ASSERT_GT(shown, 1) << "600 characters should wrap at the screen's width";
    // Fill up to exactly 250 shown lines, then one more line empties the screen.
    for (int i = shown; i < 250; ++i) {
        form.HostEkraninaMesajYaz("x");
    }
    EXPECT_EQ(form.HostEkraniLineCount(), 250);
    EXPECT_EQ(form.HostEkrani()->document()->blockCount() - 1, 250 - shown + 1);
    form.HostEkraninaMesajYaz("y");
    EXPECT_TRUE(form.HostEkrani()->toPlainText().isEmpty());
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
    form.BilgiEkraninaMesajYaz("\x7F\xFF\xDE\xFD");
    const QStringList shown = lines(form.BilgiEkrani());
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], QStringLiteral("12<CR><LF>A B"));
    EXPECT_EQ(shown[1], QStringLiteral("x<NUL>y"));
    EXPECT_EQ(shown[2], QString());
    // Bytes above 127 are shown as the code page's characters (127 and 255 included).
    EXPECT_EQ(shown[3], QString::fromUtf8("\x7F\xC3\xBF\xC5\x9E\xC4\xB1"));
}

TEST_F(Screens, F5AnywhereSwitchesTheInfoScreenAndCtrlF5InTheHostScreenEnablesIt) {
    QTextEdit* info = form.BilgiEkrani();
    QTextEdit* host = form.HostEkrani();
    ASSERT_TRUE(info->isEnabled());
    press(host);
    EXPECT_FALSE(info->isEnabled());
    press(host);
    EXPECT_TRUE(info->isEnabled());

    // Ctrl+F5 in the host screen: the window switches first, then the screen enables.
    press(host, Qt::ControlModifier);
    EXPECT_TRUE(info->isEnabled());
    press(host);
    ASSERT_FALSE(info->isEnabled());
    press(host, Qt::ControlModifier);
    EXPECT_TRUE(info->isEnabled());

    // Ctrl+Shift+F5 acts as F5 alone.
    press(host, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(info->isEnabled());
    press(host, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(info->isEnabled());

    // Another control focused: Ctrl+F5 acts as F5.
    press(form.Controls().RzPageControl1, Qt::ControlModifier);
    EXPECT_FALSE(info->isEnabled());
    press(form.Controls().RzPageControl1, Qt::ControlModifier);
    EXPECT_TRUE(info->isEnabled());

    // The keys are not consumed: the host screen still gets its own key presses.
    press(host);
    QTest::keyClicks(host, QStringLiteral("ok"));
    EXPECT_TRUE(host->toPlainText().contains(QStringLiteral("ok")));
}

TEST_F(Screens, ADisabledInfoScreenTakesNoInputButStillGetsBlocks) {
    press(form.HostEkrani());
    QTextEdit* info = form.BilgiEkrani();
    ASSERT_FALSE(info->isEnabled());
    info->setFocus();
    EXPECT_FALSE(info->hasFocus());
    form.BilgiEkraninaMesajYaz("block while disabled\r");
    EXPECT_EQ(lines(info), QStringList{QStringLiteral("block while disabled<CR>")});
    // Painted in the button face colour.
    EXPECT_EQ(info->palette().color(QPalette::Disabled, QPalette::Base),
              info->palette().color(QPalette::Disabled, QPalette::Button));
}

TEST_F(Screens, ClearButtonEmptiesBothScreensInEveryState) {
    QToolButton* button = form.Controls().RzBitBtn1;
    for (bool infoEnabled : {true, false}) {
        form.BilgiEkrani()->setEnabled(infoEnabled);
        for (int i = 0; i < 240; ++i) {
            form.HostEkraninaMesajYaz("line");
        }
        form.BilgiEkraninaMesajYaz("block");
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(form.HostEkrani()->toPlainText().isEmpty());
        EXPECT_TRUE(form.BilgiEkrani()->toPlainText().isEmpty());
        EXPECT_EQ(form.BilgiEkrani()->isEnabled(), infoEnabled);
        // The host screen's count starts again from 0.
        for (int i = 0; i < 250; ++i) {
            form.HostEkraninaMesajYaz("again");
        }
        EXPECT_EQ(form.HostEkraniLineCount(), 250);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    form.HostEkraninaMesajYaz("after clearing an empty screen");
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(form.HostEkrani()->toPlainText().isEmpty());
}

TEST_F(Screens, InfoScreenKeepsItsNewestLinesOnly) {
    const int total = TAnaForm::kBilgiEkraniMaxLines + 25;
    for (int i = 1; i <= total; ++i) {
        form.BilgiEkraninaMesajYaz("block " + std::to_string(i));
    }
    const QStringList shown = lines(form.BilgiEkrani());
    ASSERT_EQ(shown.size(), TAnaForm::kBilgiEkraniMaxLines);
    EXPECT_EQ(shown.front(),
              QStringLiteral("block %1").arg(total - TAnaForm::kBilgiEkraniMaxLines + 1));
    EXPECT_EQ(shown.back(), QStringLiteral("block %1").arg(total));
}

}  // namespace
