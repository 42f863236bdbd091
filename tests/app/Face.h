// What the tests of the window's and the lamp's shared behaviour need of a face: its
// TAnaForm and TComLed on the screen, and a user's keys, clicks and eyes. One
// implementation per face (tests/app/qt, tests/windows); the tests are written once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/AnaUnit.h"
#include "serial/ComLed.h"

namespace face {

enum class Control { HostEkrani, BilgiEkrani, RzBitBtn1, RzPageControl1 };

// Lets the face's event loop run pending work, for about `ms` milliseconds.
void ProcessEvents(int ms = 0);

// A TAnaForm shown without the start-up work, with its second page (or `page`) in front.
class Window {
public:
    explicit Window(int page = 1);
    ~Window();
    TCustomAnaForm& Form();

    // A screen's lines as the control holds them (UTF-8), without the empty line of the
    // insertion point.
    std::vector<std::string> Lines(Control screen);
    bool Enabled(Control control);
    // Puts the focus where a user's click would; false when the control takes none.
    void Focus(Control control);
    bool HasFocus(Control control);
    // A key pressed and released on the keyboard, with the modifiers held.
    void PressKey(std::uint16_t key, TShiftState shift = {});
    void Type(const std::string& letters);
    void Click(Control control);
    // The disabled info screen is painted in the platform's button-face colour.
    bool InfoPaintedAsButtonFace();
    // The page in front, as a user's click on its tab chooses it.
    void ShowPage(int index);
    // The window's outer size, as a user's drag of its frame sets it.
    void Resize(int width, int height);
    // The screen's insertion point is inside its view, where the user sees it.
    bool InsertionPointInView(Control screen);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// A face's lamp, with its ring timer's starts recorded.
template <class Led>
class WatchedLed : public Led {
public:
    using Led::Led;
    std::vector<int> starts;

protected:
    void StartRingTimer(int IntervalMs) override {
        starts.push_back(IntervalMs);
        Led::StartRingTimer(IntervalMs);
    }
};

// A lamp on a parent of one colour, read back from the screen.
class Lamp {
public:
    explicit Lamp(std::uint32_t parentColour = 0x00FF00);
    ~Lamp();
    TCustomComLed& Led();
    void SetBounds(int left, int top, int width, int height);
    int Width();
    int Height();
    void SetEnabled(bool enabled);
    // The colour on the screen at (x, y) of the lamp's parent, 0xRRGGBB.
    std::uint32_t ParentPixel(int x, int y);
    // A built-in picture as the face stores it.
    static TLedPicture BuiltIn(const char* name);
    // The intervals the ring timer was started with, in order.
    std::vector<int> RingTimerStarts() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

}  // namespace face
