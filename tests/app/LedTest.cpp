// The connection lamp: binding, state changes, the ring timer, pictures and painting, on a
// real control of the face.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/fake/FakeSerialApi.h"
#include "tests/app/Face.h"

namespace {

class Lamp : public ::testing::Test {
protected:
    Lamp() {
        port.SetEvents(TComEvents());
        led.OnChange = [this](TCustomComLed*, TLedState s) { changes.push_back(s); };
    }
    // The colour at the lamp's centre, as the screen shows it.
    std::uint32_t centre() { return lamp.ParentPixel(lamp.Width() / 2, lamp.Height() / 2); }

    std::vector<TLedState> changes;
    platform::FakeSerialApi fake;
    TComPort port{nullptr, &fake};
    face::Lamp lamp;
    TCustomComLed& led = lamp.Led();
};

TEST_F(Lamp, ANewLampIsUnboundOffAndPaintsItsBuiltInPictureCentred) {
    EXPECT_EQ(lamp.Width(), 25);
    EXPECT_EQ(lamp.Height(), 25);
    EXPECT_EQ(led.Kind(), lkRedLight);
    EXPECT_EQ(led.LedSignal(), lsConn);
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(led.RingDuration(), 1000);
    EXPECT_EQ(led.ComPort(), nullptr);
    const TLedPicture off = face::Lamp::BuiltIn("LEDREDOFF");
    ASSERT_EQ(off.Width, 15);
    ASSERT_EQ(off.Height, 15);
    // Centred: offset 5 in 25 x 25; the ground around and in the corners shows through.
    EXPECT_EQ(lamp.ParentPixel(5 + 7, 5 + 7), off.Pixel(7, 7));
    EXPECT_EQ(lamp.ParentPixel(5, 5 + 14), 0x00FF00u);
    EXPECT_EQ(lamp.ParentPixel(2, 2), 0x00FF00u);
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
    face::Lamp second;
    second.Led().SetComPort(&port);  // bound to an open port: takes the state at once
    EXPECT_EQ(second.Led().State(), lsOn);
    changes.clear();
    led.SetComPort(nullptr);  // unbinding turns it off
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(changes, std::vector<TLedState>{lsOff});
    EXPECT_EQ(port.Links().size(), 1u);
    second.Led().SetComPort(nullptr);
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
    port.CallEvent(evRing);
    ASSERT_EQ(led.State(), lsOn);
    EXPECT_EQ(lamp.RingTimerStarts(), (std::vector<int>{1000}));
    face::ProcessEvents(100);
    port.CallEvent(evRing);  // counted from the first ring: the timer is not started again
    EXPECT_EQ(lamp.RingTimerStarts(), (std::vector<int>{1000}));
    EXPECT_EQ(led.State(), lsOn);
    // The timer's end puts it out.
    for (int i = 0; i < 500 && led.State() == lsOn; ++i) {
        face::ProcessEvents(10);
    }
    EXPECT_EQ(led.State(), lsOff);
    EXPECT_EQ(lamp.RingTimerStarts(), (std::vector<int>{1000}));

    led.SetRingDuration(0);  // the timer never runs: the lamp stays on after a ring
    port.CallEvent(evRing);
    face::ProcessEvents(50);
    EXPECT_EQ(led.State(), lsOn);
    EXPECT_EQ(lamp.RingTimerStarts().size(), 1u);
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
    const std::uint32_t on = face::Lamp::BuiltIn("LEDREDON").Pixel(7, 7);
    const std::uint32_t off = face::Lamp::BuiltIn("LEDREDOFF").Pixel(7, 7);
    ASSERT_NE(on, off);
    led.SetState(lsOn);
    EXPECT_EQ(centre(), on);
    lamp.SetEnabled(false);
    EXPECT_EQ(centre(), off);
    lamp.SetEnabled(true);
    EXPECT_EQ(centre(), on);
}

TEST_F(Lamp, PicturesFollowKindAndCustomPicturesOnlyForCustom) {
    TLedPicture mine{10, 10, std::vector<std::uint32_t>(100, 0x0000FF)};
    led.SetGlyphOn(mine);  // ignored: not lkCustom
    EXPECT_NE(led.GlyphOn(), mine);
    led.SetKind(lkGreenLight);
    EXPECT_EQ(led.GlyphOn(), face::Lamp::BuiltIn("LEDGREENON"));
    led.SetKind(lkCustom);  // keeps the built-in pictures until new ones come
    EXPECT_EQ(led.GlyphOn(), face::Lamp::BuiltIn("LEDGREENON"));
    led.SetGlyphOn(mine);
    EXPECT_EQ(led.GlyphOn(), mine);
}

TEST_F(Lamp, TheBottomLeftColourIsTransparentAndLargePicturesStartTopLeft) {
    led.SetKind(lkCustom);
    TLedPicture picture{30, 30, std::vector<std::uint32_t>(900, 0xFF00FF)};
    for (int y = 10; y < 20; ++y) {
        for (int x = 10; x < 20; ++x) {
            picture.Pixels[static_cast<std::size_t>(y * 30 + x)] = 0xFF0000;
        }
    }
    led.SetGlyphOff(picture);      // magenta, the bottom-left pixel's colour, is transparent
    lamp.SetBounds(0, 0, 20, 20);  // smaller than the picture: drawn from the top left
    EXPECT_EQ(lamp.ParentPixel(2, 2), 0x00FF00u);
    EXPECT_EQ(lamp.ParentPixel(12, 12), 0xFF0000u);
    EXPECT_EQ(lamp.ParentPixel(19, 19), 0xFF0000u);
    EXPECT_EQ(lamp.ParentPixel(25, 25), 0x00FF00u);
}

TEST(LampPictures, TwelveBuiltInPicturesWithTheirBackgrounds) {
    const char* names[] = {"LEDREDON",    "LEDREDOFF",    "LEDGREENON",  "LEDGREENOFF",
                           "LEDBLUEON",   "LEDBLUEOFF",   "LEDYELLOWON", "LEDYELLOWOFF",
                           "LEDPURPLEON", "LEDPURPLEOFF", "LEDBULBON",   "LEDBULBOFF"};
    for (const char* name : names) {
        const TLedPicture picture = face::Lamp::BuiltIn(name);
        ASSERT_FALSE(picture.Empty()) << name;
        EXPECT_EQ(picture.Width, 15) << name;
        EXPECT_EQ(picture.Height, 15) << name;
        std::vector<std::uint32_t> colours(picture.Pixels);
        std::sort(colours.begin(), colours.end());
        colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
        EXPECT_LE(colours.size(), 16u) << name;
        const bool yellow = std::string(name).find("YELLOW") != std::string::npos;
        EXPECT_EQ(picture.TransparentColor(), yellow ? 0x800080u : 0x808000u) << name;
    }
}

}  // namespace
