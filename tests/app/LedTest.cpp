// The connection lamp: binding, state changes, the ring timer, pictures and painting.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "platform/fake/FakeSerialApi.h"
#include "serial/CPortCtl.h"

namespace {

class Lamp : public ::testing::Test {
protected:
    Lamp() {
        port.SetEvents(TComEvents());
        led.OnChange = [this](TComLed*, TLedState s) { changes.push_back(s); };
    }
    QColor centre(TComLed& l) {
        const QImage image = l.grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    }

    std::vector<TLedState> changes;
    platform::FakeSerialApi fake;
    TComPort port{nullptr, &fake};
    TComLed led;
};

TEST_F(Lamp, ANewLampIsUnboundOffAndPaintsItsBuiltInPictureCentred) {
    EXPECT_EQ(led.size(), QSize(25, 25));
    EXPECT_EQ(led.Kind(), lkRedLight);
    EXPECT_EQ(led.LedSignal(), lsConn);
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(led.RingDuration(), 1000);
    EXPECT_EQ(led.ComPort(), nullptr);
    const QImage off(QStringLiteral(":/leds/LEDREDOFF.xpm"));
    ASSERT_EQ(off.size(), QSize(15, 15));
    // The picture's centre lands on the control's centre (offset 5 in 25 x 25).
    EXPECT_EQ(centre(led), off.pixelColor(7, 7));
    const QImage shot = led.grab().toImage();
    EXPECT_EQ(shot.pixelColor(5 + 7, 5 + 7), off.pixelColor(7, 7));
}

TEST_F(Lamp, FollowsTheConnectionOfItsPort) {
    led.SetComPort(&port);
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_TRUE(changes.empty());  // binding to a closed port changes nothing
    port.SetConnected(true);
    EXPECT_EQ(led.State(), lsOn);
    port.SetConnected(false);
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(changes, (std::vector<TLedState>{lsOn, lsOff}));

    port.SetConnected(true);
    TComLed second;
    second.SetComPort(&port);  // bound to an open port: takes the state at once
    EXPECT_EQ(second.State(), lsOn);
    changes.clear();
    led.SetComPort(nullptr);  // unbinding turns it off
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(changes, std::vector<TLedState>{lsOff});
    EXPECT_EQ(port.Links().size(), 1u);
    second.SetComPort(nullptr);
    EXPECT_TRUE(port.Links().empty());
}

TEST_F(Lamp, ThePortsDestructionUnbindsIt) {
    auto owned = std::make_unique<TComPort>(nullptr, &fake);
    owned->SetEvents(TComEvents());
    owned->SetConnected(true);
    led.SetComPort(owned.get());
    ASSERT_EQ(led.State(), lsOn);
    changes.clear();
    owned.reset();
    EXPECT_EQ(led.ComPort(), nullptr);
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(changes, (std::vector<TLedState>{lsOff, lsOff}));  // the close, then the unbinding
}

TEST_F(Lamp, EveryNotificationRaisesOnChangeEvenForTheSameState) {
    led.SetLedSignal(lsCTS);
    led.SetComPort(&port);
    fake.setModemStatus(platform::ms::CtsOn);
    port.SetConnected(true);
    port.CallEvent(evCTS);
    port.CallEvent(evCTS);
    EXPECT_EQ(changes, (std::vector<TLedState>{lsOn, lsOn, lsOn}));
    // Choosing another signal keeps the state until that signal is next reported.
    led.SetLedSignal(lsDSR);
    EXPECT_EQ(led.State(), lsOn);
    port.CallEvent(evDSR);
    EXPECT_EQ(led.State(), lsOff);
}

TEST_F(Lamp, ARingLightsItForItsDurationFromTheFirstRing) {
    led.SetLedSignal(lsRing);
    led.SetComPort(&port);
    port.SetConnected(true);
    QElapsedTimer clock;
    clock.start();
    port.CallEvent(evRing);
    ASSERT_EQ(led.State(), lsOn);
    QTest::qWait(500);
    port.CallEvent(evRing);  // does not restart the timer
    while (led.State() == lsOn && clock.elapsed() < 3000) {
        QTest::qWait(10);
    }
    const qint64 lit = clock.elapsed();
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_GE(lit, 950);
    EXPECT_LT(lit, 1450);  // counted from the first ring, not the second

    led.SetRingDuration(0);  // the timer never runs: the lamp stays on after a ring
    port.CallEvent(evRing);
    QTest::qWait(50);
    EXPECT_EQ(led.State(), lsOn);
}

TEST_F(Lamp, StateCannotBeWrittenWhileBound) {
    led.SetState(lsOn);
    EXPECT_EQ(led.State(), lsOn);
    EXPECT_EQ(changes, std::vector<TLedState>{lsOn});
    led.SetComPort(&port);
    try {
        led.SetState(lsOff);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), 19);
        EXPECT_EQ(e.SystemError(), -1);
        EXPECT_STREQ(e.what(), "Cannot change led state if ComPort is selected");
    }
    EXPECT_EQ(led.State(), lsOn);
}

TEST_F(Lamp, DisabledShowsTheOffPicture) {
    const QImage on(QStringLiteral(":/leds/LEDREDON.xpm"));
    const QImage off(QStringLiteral(":/leds/LEDREDOFF.xpm"));
    ASSERT_NE(on.pixelColor(7, 7), off.pixelColor(7, 7));
    led.SetState(lsOn);
    EXPECT_EQ(centre(led), on.pixelColor(7, 7));
    led.setEnabled(false);
    EXPECT_EQ(centre(led), off.pixelColor(7, 7));
    led.setEnabled(true);
    EXPECT_EQ(centre(led), on.pixelColor(7, 7));
}

TEST_F(Lamp, PicturesFollowKindAndCustomPicturesOnlyForCustom) {
    QPixmap mine(10, 10);
    mine.fill(Qt::blue);
    led.SetGlyphOn(mine);  // ignored: not lkCustom
    EXPECT_NE(led.GlyphOn().size(), QSize(10, 10));
    led.SetKind(lkGreenLight);
    const QImage green(QStringLiteral(":/leds/LEDGREENON.xpm"));
    EXPECT_EQ(led.GlyphOn().toImage().convertToFormat(QImage::Format_RGB32),
              green.convertToFormat(QImage::Format_RGB32));
    led.SetKind(lkCustom);  // keeps the built-in pictures until new ones come
    EXPECT_EQ(led.GlyphOn().size(), QSize(15, 15));
    led.SetGlyphOn(mine);
    EXPECT_EQ(led.GlyphOn().size(), QSize(10, 10));
}

TEST_F(Lamp, TheBottomLeftColourIsTransparentAndLargePicturesStartTopLeft) {
    QWidget parent;
    parent.resize(60, 60);
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::green);
    parent.setPalette(palette);
    TComLed lamp(&parent);
    lamp.SetKind(lkCustom);
    QImage picture(30, 30, QImage::Format_RGB32);
    picture.fill(Qt::magenta);  // the bottom-left pixel's colour: transparent
    for (int y = 10; y < 20; ++y) {
        for (int x = 10; x < 20; ++x) {
            picture.setPixelColor(x, y, Qt::red);
        }
    }
    lamp.SetGlyphOff(QPixmap::fromImage(picture));
    lamp.setGeometry(0, 0, 20, 20);  // smaller than the picture: drawn from the top left
    parent.show();
    QCoreApplication::processEvents();
    const QImage shot = parent.grab().toImage();
    EXPECT_EQ(shot.pixelColor(2, 2), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(12, 12), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(19, 19), QColor(Qt::red));
}

TEST(LampPictures, TwelveBuiltInPicturesWithTheirBackgrounds) {
    const char* names[] = {"LEDREDON",    "LEDREDOFF",    "LEDGREENON",  "LEDGREENOFF",
                           "LEDBLUEON",   "LEDBLUEOFF",   "LEDYELLOWON", "LEDYELLOWOFF",
                           "LEDPURPLEON", "LEDPURPLEOFF", "LEDBULBON",   "LEDBULBOFF"};
    for (const char* name : names) {
        const QImage image(QStringLiteral(":/leds/%1.xpm").arg(QLatin1String(name)));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(15, 15)) << name;
        EXPECT_LE(image.convertToFormat(QImage::Format_Indexed8).colorCount(), 16) << name;
        const bool yellow = std::string(name).find("YELLOW") != std::string::npos;
        EXPECT_EQ(image.pixelColor(0, 14), yellow ? QColor(0x80, 0, 0x80) : QColor(0x80, 0x80, 0))
            << name;
    }
}

}  // namespace
