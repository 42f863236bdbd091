// The Win32 window as its stored layout builds it, read back from the system: places and
// sizes, fonts, the splitter a user drags, the button under the mouse, and the form's own
// lamps on the screen with their transparent pixels.
#include <gtest/gtest.h>
#include <windows.h>
// commctrl.h and richedit.h need windows.h before them.
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/win32/AnaForm.h"
#include "app/win32/DMUnit.h"
#include "app/win32/WideText.h"
#include "serial/win32/DibPicture.h"
#include "tests/app/Face.h"
#include "windows/FarSide.h"
#include "windows/Win32Support.h"

namespace {

RECT placeInParent(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring tabCaption(HWND tabs, int index) {
    wchar_t text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return text;
}

CHARFORMAT2W screenFormat(HWND edit) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    ::SendMessageW(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return format;
}

COLORREF pixel(HWND window, int x, int y) {
    ::UpdateWindow(window);
    face::ProcessEvents(10);
    HDC dc = ::GetDC(window);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(window, dc);
    return c;
}

// An area of a window's client as shown, in one read.
struct Capture {
    RECT area;
    TLedPicture shot;
    std::uint32_t at(int x, int y) const { return shot.Pixel(x - area.left, y - area.top); }
};

Capture capture(HWND window, RECT area) {
    ::UpdateWindow(window);
    face::ProcessEvents(10);
    HDC dc = ::GetDC(window);
    Capture c{area, win32::PictureFromDc(dc, area)};
    ::ReleaseDC(window, dc);
    return c;
}

// A mouse action of the system's input at a point of the screen.
void mouse(POINT at, DWORD action) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = (at.x * 65535) / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = (at.y * 65535) / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | action;
    ::SendInput(1, &input, sizeof input);
    face::ProcessEvents(30);
}

class Win32Form : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetStartUpOnShow(false);
        form.Show();
        ::SetForegroundWindow(form.Handle());
        face::ProcessEvents(50);
    }

    TDM dm;
    TAnaForm form;
};

TEST_F(Win32Form, TheWindowAsStored) {
    RECT outer;
    ::GetWindowRect(form.Handle(), &outer);
    EXPECT_EQ(outer.right - outer.left, 453);
    EXPECT_EQ(outer.bottom - outer.top, 408);
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(outer.left - work.left, work.right - outer.right, 1);
    EXPECT_NEAR(outer.top - work.top, work.bottom - outer.bottom, 1);
    wchar_t title[64] = {};
    ::GetWindowTextW(form.Handle(), title, 64);
    EXPECT_EQ(std::wstring(title), L"Dorvik Selto (Hemogram)");
    EXPECT_NE(::GetClassLongPtrW(form.Handle(), GCLP_HICON), 0);
    // The window's font, as its controls got it.
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form.RzPageControl1(), WM_GETFONT, 0, 0)),
                 sizeof font, &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Sans Serif");
    EXPECT_EQ(font.lfHeight, -11);

    HWND tabs = form.RzPageControl1();
    ASSERT_EQ(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(tabCaption(tabs, 0), L"Dorvik Selto (Hemogram)");
    EXPECT_EQ(tabCaption(tabs, 1), L"Host Ekran\x0131");
    EXPECT_EQ(tabCaption(tabs, 2), L"Ayarlar");
    EXPECT_EQ(form.ActivePage(), 0);
    EXPECT_EQ(::GetWindow(form.TabSheet(2), GW_CHILD), nullptr);
    EXPECT_EQ(form.Lbl1Caption(), "HATA");

    struct Lamp {
        TComLed& led;
        RECT bounds;
    } lamps[] = {{form.ComLed2(), {5, 18, 45, 48}}, {form.ComLed3(), {5, 50, 45, 60}}};
    for (const Lamp& lamp : lamps) {
        const RECT b = lamp.led.BoundsRect();
        EXPECT_TRUE(::EqualRect(&b, &lamp.bounds))
            << b.left << "," << b.top << " " << b.right << "," << b.bottom;
        EXPECT_EQ(lamp.led.Parent(), form.TabSheet(0));
        EXPECT_EQ(lamp.led.Kind(), lkCustom);
        EXPECT_EQ(lamp.led.LedSignal(), lsConn);
        EXPECT_EQ(lamp.led.ComPort(), form.ComPort());
        EXPECT_EQ(lamp.led.State(), lsOff);
        EXPECT_EQ(lamp.led.GlyphOn().Width, b.right - b.left);
        EXPECT_EQ(lamp.led.GlyphOn().Height, b.bottom - b.top);
        EXPECT_EQ(lamp.led.GlyphOff().Width, b.right - b.left);
    }

    form.SelectPage(1);
    face::ProcessEvents(20);
    EXPECT_EQ(form.SplitterPosition(), 255);
    const RECT upper = placeInParent(form.UpperPane());
    EXPECT_EQ(upper.bottom - upper.top, 255);
    RECT splitter;
    ::GetClientRect(form.rzspltr1(), &splitter);
    const RECT info = placeInParent(::GetParent(form.BilgiEkrani()));
    EXPECT_EQ(info.top - upper.bottom, 6);
    EXPECT_EQ(info.bottom, splitter.bottom);
    const RECT host = placeInParent(form.HostEkrani());
    EXPECT_EQ(host.bottom - host.top, 255);
    EXPECT_EQ(host.right - host.left, splitter.right);

    const CHARFORMAT2W hostFormat = screenFormat(form.HostEkrani());
    EXPECT_EQ(std::wstring(hostFormat.szFaceName), L"Times New Roman");
    EXPECT_EQ(hostFormat.yHeight, 11 * 1440 / 96);
    EXPECT_EQ(hostFormat.crTextColor, RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(pixel(form.HostEkrani(), 60, 200), RGB(0, 0, 0));
    const CHARFORMAT2W infoFormat = screenFormat(form.BilgiEkrani());
    EXPECT_EQ(std::wstring(infoFormat.szFaceName), L"MS Sans Serif");
    for (HWND edit : {form.HostEkrani(), form.BilgiEkrani()}) {
        const LONG_PTR style = ::GetWindowLongPtrW(edit, GWL_STYLE);
        EXPECT_TRUE(style & WS_VSCROLL);
        EXPECT_TRUE(style & WS_HSCROLL);
        EXPECT_FALSE(style & ES_READONLY);
        EXPECT_TRUE(::IsWindowEnabled(edit));
    }

    const RECT button = placeInParent(form.RzBitBtn1());
    EXPECT_EQ(button.left, 398);
    EXPECT_EQ(button.top, 0);
    EXPECT_EQ(button.right - button.left, 28);
    EXPECT_EQ(::GetWindowTextLengthW(form.RzBitBtn1()), 0);
}

TEST_F(Win32Form, TheUserDragsTheSplitterBarAndTheUpperPaneKeepsItsHeightOnResize) {
    form.SelectPage(1);
    face::ProcessEvents(20);
    RECT bar;
    ::GetWindowRect(form.rzspltr1(), &bar);
    POINT at{bar.left + 100, bar.top + 255 + 3};
    mouse(at, 0);
    mouse(at, MOUSEEVENTF_LEFTDOWN);
    at.y -= 40;
    mouse(at, 0);
    mouse(at, MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(form.SplitterPosition(), 215);
    RECT host = placeInParent(form.HostEkrani());
    EXPECT_EQ(host.bottom - host.top, 215);

    RECT outer;
    ::GetWindowRect(form.Handle(), &outer);
    ::SetWindowPos(form.Handle(), nullptr, 0, 0, outer.right - outer.left,
                   outer.bottom - outer.top + 100, SWP_NOMOVE | SWP_NOZORDER);
    face::ProcessEvents(20);
    host = placeInParent(form.HostEkrani());
    EXPECT_EQ(host.bottom - host.top, 215);
    const RECT info = placeInParent(::GetParent(form.BilgiEkrani()));
    RECT splitter;
    ::GetClientRect(form.rzspltr1(), &splitter);
    EXPECT_EQ(info.top, 215 + 6);
    EXPECT_EQ(info.bottom, splitter.bottom);
}

TEST_F(Win32Form, TheButtonLightsUnderTheMouseAndShowsTheGreyPictureWhileDisabled) {
    form.SelectPage(1);
    face::ProcessEvents(20);
    HWND button = form.RzBitBtn1();
    const COLORREF frame = pixel(button, 0, 10);
    RECT r;
    ::GetWindowRect(button, &r);
    mouse({r.left + 3, r.top + 3}, 0);
    EXPECT_TRUE(form.ButtonHot());
    EXPECT_NE(pixel(button, 0, 10), frame);
    // The system tells the button the mouse has left a moment later.
    mouse({r.left - 60, r.bottom + 60}, 0);
    EXPECT_TRUE(eventually([&] {
        face::ProcessEvents(20);
        return !form.ButtonHot();
    }));
    EXPECT_EQ(pixel(button, 0, 10), frame);

    // The most colourful pixel of the picture: the grey one has next to none.
    auto saturation = [&] {
        ::InvalidateRect(button, nullptr, FALSE);
        int most = 0;
        for (const std::uint32_t c : capture(button, {6, 4, 22, 20}).shot.Pixels) {
            const int red = static_cast<int>(c >> 16), green = static_cast<int>((c >> 8) & 0xFF),
                      blue = static_cast<int>(c & 0xFF);
            most = std::max(most, std::max({red, green, blue}) - std::min({red, green, blue}));
        }
        return most;
    };
    const int normal = saturation();
    ::EnableWindow(button, FALSE);
    const int disabled = saturation();
    ::EnableWindow(button, TRUE);
    EXPECT_GT(normal, 60);
    EXPECT_LT(disabled, 12);
}

// Each of the form's lamps on its page: where its picture has the transparent colour the
// page's background shows through; everywhere else the picture's own pixel. Closed, then
// open on COM3.
TEST_F(Win32Form, TheFormsLampsShowTheBackgroundThroughTheirTransparentPixels) {
    FarSide analyser;
    HWND page = form.TabSheet(0);
    for (const bool open : {false, true}) {
        if (open) {
            form.ComPort()->SetConnected(true);
            face::ProcessEvents(50);
        }
        for (TComLed* led : {&form.ComLed2(), &form.ComLed3()}) {
            SCOPED_TRACE(open ? "open" : "closed");
            EXPECT_EQ(led->State(), open ? lsOn : lsOff);
            const RECT b = led->BoundsRect();
            const TLedPicture& glyph = open ? led->GlyphOn() : led->GlyphOff();
            // The background under the lamp, with the lamp moved away for a moment.
            led->SetBounds(300, 200, b.right - b.left, b.bottom - b.top);
            ::RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            const Capture ground = capture(page, b);
            led->SetBounds(b.left, b.top, b.right - b.left, b.bottom - b.top);
            ::RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            const Capture seen = capture(page, b);
            int transparent = 0, wrong = 0;
            for (int y = 0; y < glyph.Height; ++y) {
                for (int x = 0; x < glyph.Width; ++x) {
                    const std::uint32_t own = glyph.Pixel(x, y) & 0xFFFFFF;
                    const bool clear = own == (glyph.TransparentColor() & 0xFFFFFF);
                    transparent += clear ? 1 : 0;
                    const std::uint32_t expected = clear ? ground.at(b.left + x, b.top + y) : own;
                    wrong += seen.at(b.left + x, b.top + y) == expected ? 0 : 1;
                }
            }
            EXPECT_GT(transparent, 0);
            EXPECT_EQ(wrong, 0) << "of " << glyph.Width * glyph.Height << " pixels";
        }
    }
    form.ComPort()->SetConnected(false);
}

}  // namespace
