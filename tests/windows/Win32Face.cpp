// The Win32 face for the shared window and lamp tests: real windows under Wine on a virtual
// display, keys and clicks as the system's input (SendInput) to where the focus is, pixels
// read back from the windows' surfaces.
#include <windows.h>
// richedit.h needs windows.h before it.
#include <richedit.h>

#include <algorithm>

#include "app/win32/AnaForm.h"
#include "app/win32/DMUnit.h"
#include "app/win32/WideText.h"
#include "serial/win32/DibPicture.h"
#include "serial/win32/MessagePump.h"
#include "tests/app/Face.h"

namespace face {

void ProcessEvents(int ms) {
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(0, ms));
    do {
        win32::ProcessMessages();
        const ULONGLONG now = ::GetTickCount64();
        if (now >= until) {
            break;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now),
                                    QS_ALLINPUT);
    } while (true);
    win32::ProcessMessages();
}

struct Window::Impl {
    TAnaForm form;

    HWND control(Control c) const {
        const HWND controls[] = {form.HostEkrani(), form.BilgiEkrani(), form.RzBitBtn1(),
                                 form.RzPageControl1()};
        return controls[static_cast<int>(c)];
    }
};

Window::Window(int page) : m(std::make_unique<Impl>()) {
    m->form.SetStartUpOnShow(false);
    m->form.SelectPage(page);
    m->form.Show();
    ::SetForegroundWindow(m->form.Handle());
    ProcessEvents(50);
}

Window::~Window() = default;

TCustomAnaForm& Window::Form() {
    return m->form;
}

std::vector<std::string> Window::Lines(Control screen) {
    const std::wstring text = win32::RichEditText(m->control(screen));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t cr = text.find(L'\r'); cr != std::wstring::npos;
         cr = text.find(L'\r', start)) {
        lines.push_back(win32::ToUtf8(text.substr(start, cr - start)));
        start = cr + 1;
    }
    if (start < text.size()) {
        lines.push_back(win32::ToUtf8(text.substr(start)));
    }
    return lines;
}

bool Window::Enabled(Control control) {
    return ::IsWindowEnabled(m->control(control)) != FALSE;
}

void Window::Focus(Control control) {
    ::SetForegroundWindow(m->form.Handle());
    ::SetFocus(m->control(control));
    ProcessEvents(10);
}

bool Window::HasFocus(Control control) {
    return ::GetFocus() == m->control(control);
}

void Window::PressKey(std::uint16_t key, TShiftState shift) {
    std::vector<WORD> held;
    if (shift.Contains(ssCtrl)) {
        held.push_back(VK_CONTROL);
    }
    if (shift.Contains(ssShift)) {
        held.push_back(VK_SHIFT);
    }
    if (shift.Contains(ssAlt)) {
        held.push_back(VK_MENU);
    }
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool down) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(input);
    };
    for (WORD vk : held) {
        add(vk, true);
    }
    add(key, true);
    add(key, false);
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        add(*it, false);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    ProcessEvents(30);
}

void Window::Type(const std::string& letters) {
    for (char c : letters) {
        PressKey(static_cast<std::uint16_t>(::VkKeyScanW(static_cast<wchar_t>(c)) & 0xFF));
    }
}

void Window::Click(Control control) {
    HWND target = m->control(control);
    RECT r;
    ::GetWindowRect(target, &r);
    const int x = (r.left + r.right) / 2;
    const int y = (r.top + r.bottom) / 2;
    const int w = ::GetSystemMetrics(SM_CXSCREEN);
    const int h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = (x * 65535) / (w - 1);
        input.mi.dy = (y * 65535) / (h - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(3, inputs, sizeof(INPUT));
    ProcessEvents(50);
}

bool Window::InfoPaintedAsButtonFace() {
    HWND info = m->form.BilgiEkrani();
    ::RedrawWindow(info, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    ProcessEvents(20);
    HDC dc = ::GetDC(info);
    RECT client;
    ::GetClientRect(info, &client);
    const COLORREF seen = ::GetPixel(dc, client.right / 2, client.bottom - 4);
    ::ReleaseDC(info, dc);
    return seen == TSkinController::Colours().Face;
}

void Window::ShowPage(int index) {
    m->form.SelectPage(index);
    ProcessEvents(20);
}

void Window::Resize(int width, int height) {
    ::SetWindowPos(m->form.Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    ProcessEvents(20);
}

bool Window::InsertionPointInView(Control screen) {
    HWND edit = m->control(screen);
    DWORD start = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    POINTL at{};
    ::SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), start);
    RECT view;
    ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&view));
    return at.x >= view.left && at.x < view.right && at.y >= view.top && at.y < view.bottom;
}

namespace {

LRESULT CALLBACK lampParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

struct Lamp::Impl {
    HWND parent = nullptr;
    std::unique_ptr<WatchedLed<TComLed>> led;
    HBRUSH ground = nullptr;
};

namespace {

LRESULT CALLBACK lampParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* impl = reinterpret_cast<Lamp::Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (impl && message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        RECT client;
        ::GetClientRect(window, &client);
        ::FillRect(dc, &client, impl->ground);
        if (impl->led) {
            impl->led->Paint(dc);
        }
        ::EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        return 1;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Lamp::Lamp(std::uint32_t parentColour) : m(std::make_unique<Impl>()) {
    static const bool registered = [] {
        WNDCLASSW cls{};
        cls.lpfnWndProc = lampParentProc;
        cls.hInstance = ::GetModuleHandleW(nullptr);
        cls.lpszClassName = L"TLampTestParent";
        return ::RegisterClassW(&cls) != 0;
    }();
    (void)registered;
    m->ground = ::CreateSolidBrush(
        RGB((parentColour >> 16) & 0xFF, (parentColour >> 8) & 0xFF, parentColour & 0xFF));
    m->parent = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"TLampTestParent", L"",
                                  WS_POPUP | WS_VISIBLE, 0, 0, 60, 60, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(m->parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(m.get()));
    m->led = std::make_unique<WatchedLed<TComLed>>(m->parent);
    ProcessEvents(20);
}

Lamp::~Lamp() {
    m->led.reset();
    ::DestroyWindow(m->parent);
    ::DeleteObject(m->ground);
}

TCustomComLed& Lamp::Led() {
    return *m->led;
}

std::vector<int> Lamp::RingTimerStarts() const {
    return m->led->starts;
}

void Lamp::SetBounds(int left, int top, int width, int height) {
    m->led->SetBounds(left, top, width, height);
}

int Lamp::Width() {
    const RECT r = m->led->BoundsRect();
    return r.right - r.left;
}

int Lamp::Height() {
    const RECT r = m->led->BoundsRect();
    return r.bottom - r.top;
}

void Lamp::SetEnabled(bool enabled) {
    m->led->SetEnabled(enabled);
}

std::uint32_t Lamp::ParentPixel(int x, int y) {
    ::UpdateWindow(m->parent);
    ProcessEvents(10);
    HDC dc = ::GetDC(m->parent);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(m->parent, dc);
    return (std::uint32_t{GetRValue(c)} << 16) | (std::uint32_t{GetGValue(c)} << 8) | GetBValue(c);
}

TLedPicture Lamp::BuiltIn(const char* name) {
    return win32::PictureFromResource(name);
}

}  // namespace face
