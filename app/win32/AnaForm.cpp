#include "app/win32/AnaForm.h"

#include <commctrl.h>
#include <ole2.h>
#include <olectl.h>
#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "app/win32/Application.h"
#include "app/win32/DMUnit.h"
#include "app/win32/WideText.h"
#include "serial/win32/DibPicture.h"
#include "serial/win32/MessagePump.h"

namespace {

// The stored layout: outer size, places and sizes within the parents, fonts by pixel height.
constexpr int kFormWidth = 453;
constexpr int kFormHeight = 408;
constexpr int kTabHeight = 19;
constexpr POINT kLbl1 = {9, 4};
constexpr POINT kLbl2 = {16, 72};
constexpr RECT kComLed2 = {5, 18, 5 + 40, 18 + 30};
constexpr RECT kComLed3 = {5, 50, 5 + 40, 50 + 10};
constexpr int kUpperPaneHeight = 255;
constexpr int kSplitterBar = 6;
constexpr RECT kRzBitBtn1 = {398, 0, 398 + 28, 24};
constexpr const wchar_t* kPageCaptions[3] = {L"Dorvik Selto (Hemogram)", L"Host Ekran\x0131",
                                             L"Ayarlar"};
constexpr COLORREF kButtonFrame = RGB(0x00, 0x3C, 0x74);
constexpr COLORREF kButtonFace = RGB(0xF4, 0xF4, 0xF0);
constexpr COLORREF kButtonHotFrame = RGB(0xF0, 0x9B, 0x14);
constexpr COLORREF kButtonHotFace = RGB(0xFF, 0xE7, 0xA2);
constexpr COLORREF kButtonPushedFace = RGB(0xE3, 0xE3, 0xDB);

constexpr UINT_PTR kReopenTimer = 1;

const wchar_t* const kFormClass = L"TAnaForm";
const wchar_t* const kPageClass = L"TTabSheet";
const wchar_t* const kSplitterClass = L"TRzSplitter";
const wchar_t* const kPaneClass = L"TRzPane";

HFONT pixelFont(const wchar_t* face, int pixels) {
    return ::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, TURKISH_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, face);
}

const void* resourceData(const wchar_t* name, const wchar_t* type, DWORD* size) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, name, type);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    *size = found ? ::SizeofResource(module, found) : 0;
    return loaded ? ::LockResource(loaded) : nullptr;
}

// The JPEG background through the system's picture decoder.
HBITMAP loadJpegResource(const wchar_t* name) {
    DWORD size = 0;
    const void* data = resourceData(name, MAKEINTRESOURCEW(10), &size);  // RT_RCDATA
    if (!data) {
        return nullptr;
    }
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(::GlobalLock(copy), data, size);
    ::GlobalUnlock(copy);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(copy, TRUE, &stream))) {
        ::GlobalFree(copy);
        return nullptr;
    }
    IPicture* picture = nullptr;
    HBITMAP bitmap = nullptr;
    if (SUCCEEDED(::OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                   reinterpret_cast<void**>(&picture)))) {
        OLE_HANDLE handle = 0;
        if (SUCCEEDED(picture->get_Handle(&handle))) {
            bitmap = static_cast<HBITMAP>(
                ::CopyImage(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP,
                            0, 0, LR_CREATEDIBSECTION));
        }
        picture->Release();
    }
    stream->Release();
    return bitmap;
}

HBITMAP loadBitmapResource(const wchar_t* name) {
    return static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

TShiftState currentShiftState() {
    TShiftState shift;
    if (::GetKeyState(VK_SHIFT) < 0) {
        shift.Include(ssShift);
    }
    if (::GetKeyState(VK_MENU) < 0) {
        shift.Include(ssAlt);
    }
    if (::GetKeyState(VK_CONTROL) < 0) {
        shift.Include(ssCtrl);
    }
    return shift;
}

// Adds a new last paragraph; the insertion point is left at the start of the empty line
// below it.
void appendLine(HWND control, const std::wstring& text) {
    ::SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    const std::wstring line = text + L"\r";
    ::SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

void setScreenFormat(HWND control, COLORREF background, COLORREF text, const wchar_t* face,
                     int pixels) {
    ::SendMessageW(control, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(background));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR | CFM_FACE | CFM_SIZE | CFM_CHARSET;
    format.crTextColor = text;
    format.yHeight = pixels * 1440 / 96;  // twips at the layout's 96 pixels an inch
    format.bCharSet = TURKISH_CHARSET;
    lstrcpynW(format.szFaceName, face, LF_FACESIZE);
    ::SendMessageW(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(control, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void registerClass(const wchar_t* name, WNDPROC proc, HICON icon) {
    WNDCLASSW cls{};
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = proc;
    cls.hInstance = TApplication::Instance();
    cls.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    cls.hIcon = icon;
    cls.lpszClassName = name;
    ::RegisterClassW(&cls);
}

}  // namespace

// What the window draws with, made once.
struct TAnaForm::Resources {
    HFONT font = pixelFont(L"MS Sans Serif", 11);
    HFONT lbl2Font = pixelFont(L"MS Sans Serif", 16);
    // The page's background at the size it is shown (see shownBackground), never the
    // picture's own 1600 x 1200.
    HBITMAP background = nullptr;
    SIZE backgroundSize{0, 0};
    HBITMAP document = loadBitmapResource(L"DOCUMENT");
    HBITMAP documentDisabled = loadBitmapResource(L"DOCUMENT_DISABLED");
    HICON icon = static_cast<HICON>(
        ::LoadImageW(TApplication::Instance(), L"MAINICON", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    ~Resources() {
        for (HGDIOBJ object : {static_cast<HGDIOBJ>(font), static_cast<HGDIOBJ>(lbl2Font),
                               static_cast<HGDIOBJ>(background), static_cast<HGDIOBJ>(document),
                               static_cast<HGDIOBJ>(documentDisabled)}) {
            if (object) {
                ::DeleteObject(object);
            }
        }
        if (icon) {
            ::DestroyIcon(icon);
        }
    }
};

TAnaForm::TAnaForm() : m_res(std::make_unique<Resources>()) {
    static const bool registered = [this] {
        registerClass(kFormClass, windowProc, m_res->icon);
        registerClass(kPageClass, windowProc, nullptr);
        registerClass(kSplitterClass, windowProc, nullptr);
        registerClass(kPaneClass, windowProc, nullptr);
        return true;
    }();
    (void)registered;
    m_window = ::CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, L"Dorvik Selto (Hemogram)",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                 CW_USEDEFAULT, kFormWidth, kFormHeight, nullptr, nullptr,
                                 TApplication::Instance(), this);
    ::SendMessageW(m_window, WM_SETFONT, reinterpret_cast<WPARAM>(m_res->font), FALSE);
    createControls();
    // The lamps are restored bound to the port while it loads, with their own pictures.
    struct StoredLamp {
        TComLed& led;
        RECT bounds;
        const char* on;
        const char* off;
    } lamps[] = {{*m_led2, kComLed2, "PLUG_ON", "PLUG_OFF"}, {*m_led3, kComLed3, "ACIK", "KAPALI"}};
    for (StoredLamp& lamp : lamps) {
        lamp.led.SetLoading(true);
        lamp.led.SetBounds(lamp.bounds.left, lamp.bounds.top, lamp.bounds.right - lamp.bounds.left,
                           lamp.bounds.bottom - lamp.bounds.top);
        lamp.led.SetLedSignal(lsConn);
        lamp.led.SetKind(lkCustom);
        lamp.led.SetGlyphOn(win32::PictureFromResource(lamp.on));
        lamp.led.SetGlyphOff(win32::PictureFromResource(lamp.off));
        lamp.led.SetComPort(ComPort());
        lamp.led.SetLoading(false);
    }
    FinishLoading();
    win32::SetMessageFilter([this](MSG& msg) { return previewKey(msg); });
}

TAnaForm::~TAnaForm() {
    win32::SetMessageFilter(nullptr);
    ReleasePort();
    m_led2.reset();
    m_led3.reset();
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    ::DestroyWindow(m_window);
}

HWND TAnaForm::createChild(const wchar_t* cls, DWORD style, HWND parent, int x, int y, int w,
                           int h) {
    HWND child = ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_CLIPSIBLINGS | style, x, y, w, h,
                                   parent, nullptr, TApplication::Instance(), this);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_res->font), FALSE);
    return child;
}

void TAnaForm::subclass(HWND control) {
    ::SetPropW(control, L"TAnaForm", this);
    ::SetPropW(control, L"TAnaForm.proc",
               reinterpret_cast<HANDLE>(::SetWindowLongPtrW(
                   control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc))));
}

void TAnaForm::createControls() {
    m_tabs = createChild(WC_TABCONTROLW, WS_VISIBLE | WS_TABSTOP | TCS_OWNERDRAWFIXED, m_window, 0,
                         0, 10, 10);
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kPageCaptions[i]);
        ::SendMessageW(m_tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(m_tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(0, kTabHeight));
    subclass(m_tabs);
    for (HWND& page : m_pages) {
        page = createChild(kPageClass, WS_CLIPCHILDREN, m_window, 0, 0, 10, 10);
        ::SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    m_led2 = std::make_unique<TComLed>(m_pages[0]);
    m_led3 = std::make_unique<TComLed>(m_pages[0]);

    m_splitter =
        createChild(kSplitterClass, WS_VISIBLE | WS_CLIPCHILDREN, m_pages[1], 0, 0, 10, 10);
    m_upper = createChild(kPaneClass, WS_VISIBLE | WS_CLIPCHILDREN, m_splitter, 0, 0, 10, 10);
    m_lower = createChild(kPaneClass, WS_VISIBLE | WS_CLIPCHILDREN, m_splitter, 0, 0, 10, 10);
    const DWORD screen = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                         ES_WANTRETURN | ES_NOHIDESEL | ES_DISABLENOSCROLL;
    m_host = createChild(L"RichEdit20W", screen, m_upper, 0, 0, 400, 255);
    m_button =
        createChild(L"BUTTON", WS_VISIBLE | BS_OWNERDRAW, m_upper, kRzBitBtn1.left, kRzBitBtn1.top,
                    kRzBitBtn1.right - kRzBitBtn1.left, kRzBitBtn1.bottom - kRzBitBtn1.top);
    ::SetWindowPos(m_button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    m_info = createChild(L"RichEdit20W", screen, m_lower, 0, 0, 400, 80);
    for (HWND edit : {m_host, m_info}) {
        ::SendMessageW(edit, EM_SETTARGETDEVICE, 0, 0);  // wrap at the control's width
        ::SendMessageW(edit, EM_EXLIMITTEXT, 0, 64 * 1024 * 1024);
    }
    subclass(m_host);
    subclass(m_button);
    applyScreenColours();
    layout();
    SelectPage(0);
}

void TAnaForm::applyScreenColours() {
    const TSkinColours& skin = TSkinController::Colours();
    setScreenFormat(m_host, RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF), L"Times New Roman", 11);
    const bool enabled = ::IsWindowEnabled(m_info) != FALSE;
    setScreenFormat(m_info, enabled ? skin.Base : skin.Face, skin.BaseText, L"MS Sans Serif", 11);
}

void TAnaForm::layout() {
    RECT client;
    ::GetClientRect(m_window, &client);
    ::MoveWindow(m_tabs, 0, 0, client.right, client.bottom, TRUE);
    RECT display = client;
    ::SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    for (HWND page : m_pages) {
        ::MoveWindow(page, display.left, display.top, display.right - display.left,
                     display.bottom - display.top, TRUE);
    }
    ::MoveWindow(m_splitter, 0, 0, display.right - display.left, display.bottom - display.top,
                 TRUE);
}

void TAnaForm::layoutSplitter() {
    RECT area;
    ::GetClientRect(m_splitter, &area);
    // The upper pane keeps its height; the lower one takes the rest.
    const int upper =
        std::clamp(m_upperHeight, 0, std::max(0, static_cast<int>(area.bottom) - kSplitterBar));
    ::MoveWindow(m_upper, 0, 0, area.right, upper, TRUE);
    ::MoveWindow(m_lower, 0, upper + kSplitterBar, area.right,
                 std::max(0, static_cast<int>(area.bottom) - upper - kSplitterBar), TRUE);
    ::MoveWindow(m_host, 0, 0, area.right, upper, TRUE);
    RECT lower;
    ::GetClientRect(m_lower, &lower);
    ::MoveWindow(m_info, 0, 0, lower.right, lower.bottom, TRUE);
    ::InvalidateRect(m_splitter, nullptr, TRUE);
}

bool TAnaForm::Show() {
    if (!BeforeShow()) {
        return false;
    }
    if (!m_shown) {
        m_shown = true;
        RECT work;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        ::SetWindowPos(m_window, nullptr, work.left + (work.right - work.left - kFormWidth) / 2,
                       work.top + (work.bottom - work.top - kFormHeight) / 2, kFormWidth,
                       kFormHeight, SWP_NOZORDER);
    }
    ::ShowWindow(m_window, SW_SHOW);
    ::UpdateWindow(m_window);
    return true;
}

void TAnaForm::SelectPage(int index) {
    ::SendMessageW(m_tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (int i = 0; i < 3; ++i) {
        ::ShowWindow(m_pages[i], i == index ? SW_SHOW : SW_HIDE);
    }
    ::InvalidateRect(m_tabs, nullptr, TRUE);
}

int TAnaForm::ActivePage() const {
    return static_cast<int>(::SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0));
}

std::string TAnaForm::Lbl1Caption() const {
    return win32::ToUtf8(m_lbl1);
}

void TAnaForm::HostAppendLine(const std::string& Text) {
    appendLine(m_host, win32::FromCodePage1254(Text));
}

int TAnaForm::HostShownLineCount() {
    // The control's own count of its shown (wrapped) lines, less the empty last one.
    return static_cast<int>(::SendMessageW(m_host, EM_GETLINECOUNT, 0, 0)) - 1;
}

void TAnaForm::HostClear() {
    ::SetWindowTextW(m_host, L"");
}

void TAnaForm::InfoAppendLine(const std::string& Text) {
    appendLine(m_info, win32::FromCodePage1254(Text));
}

int TAnaForm::InfoLineCount() {
    const std::wstring text = win32::RichEditText(m_info);
    return static_cast<int>(std::count(text.begin(), text.end(), L'\r'));
}

void TAnaForm::InfoRemoveFirstLines(int Count) {
    const std::wstring text = win32::RichEditText(m_info);
    std::size_t end = 0;
    for (int i = 0; i < Count && end != std::wstring::npos; ++i) {
        end = text.find(L'\r', end);
        end = end == std::wstring::npos ? end : end + 1;
    }
    CHARRANGE range{0, end == std::wstring::npos ? -1 : static_cast<LONG>(end)};
    ::SendMessageW(m_info, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    ::SendMessageW(m_info, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    ::SendMessageW(m_info, EM_SETSEL, static_cast<WPARAM>(-1), -1);
}

void TAnaForm::InfoClear() {
    ::SetWindowTextW(m_info, L"");
}

bool TAnaForm::InfoEnabled() {
    return ::IsWindowEnabled(m_info) != FALSE;
}

void TAnaForm::SetInfoEnabled(bool Enabled) {
    ::EnableWindow(m_info, Enabled);
    applyScreenColours();
}

void TAnaForm::ShowFirstPage() {
    SelectPage(0);
}

void TAnaForm::SetPortLabel(const std::string& Text) {
    m_lbl1 = win32::FromCodePage1254(Text);
    ::InvalidateRect(m_pages[0], nullptr, FALSE);
}

std::string TAnaForm::ApplicationTitle() {
    const TApplication* application = TApplication::Current();
    return application ? application->Title() : std::string(kApplicationTitle);
}

void TAnaForm::StartReopenTimer(int IntervalMs) {
    ::SetTimer(m_window, kReopenTimer, static_cast<UINT>(IntervalMs), nullptr);
}

void TAnaForm::StopReopenTimer() {
    ::KillTimer(m_window, kReopenTimer);
}

void TAnaForm::ShowRefusal(const std::string& Text, const std::string& Caption) {
    // The wide call shows the Turkish letters right whatever the system's code page.
    ::MessageBoxW(m_window, win32::FromCodePage1254(Text).c_str(),
                  win32::FromCodePage1254(Caption).c_str(), MB_OK);
}

bool TAnaForm::previewKey(MSG& msg) {
    // Key preview: the window sees each key press before the focused control; nothing is
    // consumed.
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) &&
        (msg.hwnd == m_window || ::IsChild(m_window, msg.hwnd))) {
        std::uint16_t key = static_cast<std::uint16_t>(msg.wParam);
        try {
            FormKeyDown(this, key, currentShiftState());
        } catch (...) {
            ApplicationHandleException(std::current_exception());
        }
    }
    return false;
}

LRESULT CALLBACK TAnaForm::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TAnaForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return form->handle(window, message, wParam, lParam);
    } catch (...) {
        ApplicationHandleException(std::current_exception());
        return 0;
    }
}

LRESULT CALLBACK TAnaForm::subclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = static_cast<TAnaForm*>(::GetPropW(window, L"TAnaForm"));
    try {
        return form->handleSubclassed(window, message, wParam, lParam);
    } catch (...) {
        ApplicationHandleException(std::current_exception());
        return 0;
    }
}

LRESULT TAnaForm::handleSubclassed(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(::GetPropW(window, L"TAnaForm.proc"));
    if (window == m_tabs) {
        if (message == WM_ERASEBKGND) {
            return 1;
        }
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window, &ps);
            paintTabs(window, dc);
            ::EndPaint(window, &ps);
            return 0;
        }
    } else if (window == m_host && message == WM_KEYDOWN) {
        std::uint16_t key = static_cast<std::uint16_t>(wParam);
        HostEkraniKeyDown(this, key, currentShiftState());
    } else if (window == m_button) {
        if (message == WM_MOUSEMOVE && !m_buttonHot) {
            m_buttonHot = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            ::TrackMouseEvent(&track);
            ::InvalidateRect(window, nullptr, FALSE);
        } else if (message == WM_MOUSELEAVE) {
            m_buttonHot = false;
            ::InvalidateRect(window, nullptr, FALSE);
        }
    }
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT TAnaForm::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const TSkinColours& skin = TSkinController::Colours();
    switch (message) {
        case WM_SIZE:
            if (window == m_window && m_tabs) {
                layout();
            } else if (window == m_splitter) {
                layoutSplitter();
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window, &ps);
            paintPage(window, dc);
            ::EndPaint(window, &ps);
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == m_tabs && header->code == TCN_SELCHANGE) {
                SelectPage(ActivePage());
            }
            return 0;
        }
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lParam) == m_button && HIWORD(wParam) == BN_CLICKED) {
                RzBitBtn1Click(this);
            }
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->hwndItem == m_button) {
                drawButton(*item);
            }
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            ::SetBkColor(reinterpret_cast<HDC>(wParam), skin.Window);
            ::SetTextColor(reinterpret_cast<HDC>(wParam), skin.Text);
            return reinterpret_cast<LRESULT>(TSkinController::Brush(skin.Window));
        case WM_SETCURSOR:
            if (window == m_splitter) {
                ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32645)));  // IDC_SIZENS
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            if (window == m_splitter) {
                m_dragOffset = static_cast<short>(HIWORD(lParam)) - m_upperHeight;
                ::SetCapture(window);
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (window == m_splitter && m_dragOffset >= 0 && ::GetCapture() == window) {
                RECT area;
                ::GetClientRect(window, &area);
                m_upperHeight =
                    std::clamp(static_cast<short>(HIWORD(lParam)) - m_dragOffset, 0,
                               std::max(0, static_cast<int>(area.bottom) - kSplitterBar));
                layoutSplitter();
                return 0;
            }
            break;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (window == m_splitter) {
                m_dragOffset = -1;
                if (message == WM_LBUTTONUP) {
                    ::ReleaseCapture();
                }
                return 0;
            }
            break;
        case WM_THEMECHANGED:
            if (window == m_window) {
                applyScreenColours();
                ::RedrawWindow(m_window, nullptr, nullptr,
                               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            }
            break;
        case WM_TIMER:
            if (window == m_window && wParam == kReopenTimer) {
                ReopenTimerTick();
                return 0;
            }
            break;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (window == m_window && wParam) {
                // The session ends, and the process with it once this returns: closed here as
                // the window's close would close it (a block still queued is forwarded),
                // and ended with 0.
                ::ShowWindow(m_window, SW_HIDE);
                ReleasePort();
                ::ExitProcess(0);
            }
            return 0;
        case WM_CLOSE:
            if (window == m_window) {
                // The loop ends; the window and its port go when the form is destroyed.
                ::ShowWindow(m_window, SW_HIDE);
                ::PostQuitMessage(0);
                return 0;
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void TAnaForm::paintTabs(HWND window, HDC dc) {
    const TSkinColours& skin = TSkinController::Colours();
    RECT client;
    ::GetClientRect(window, &client);
    ::FillRect(dc, &client, TSkinController::Brush(skin.Window));
    RECT display = client;
    ::SendMessageW(window, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    RECT border{display.left - 1, display.top - 1, display.right + 1, display.bottom + 1};
    ::FrameRect(dc, &border, TSkinController::Brush(skin.Frame));
    const int active = ActivePage();
    HGDIOBJ oldFont = ::SelectObject(dc, m_res->font);
    ::SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 3; ++i) {
        RECT tab;
        ::SendMessageW(window, TCM_GETITEMRECT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&tab));
        if (i != active) {
            tab.top += 2;
        }
        ::FillRect(dc, &tab, TSkinController::Brush(i == active ? skin.ActiveTab : skin.Face));
        ::FrameRect(dc, &tab, TSkinController::Brush(skin.Frame));
        if (i == active) {
            RECT bar{tab.left, tab.top, tab.right, tab.top + 3};
            ::FillRect(dc, &bar, TSkinController::Brush(skin.Accent));
        }
        ::SetTextColor(dc, skin.Text);
        ::DrawTextW(dc, kPageCaptions[i], -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    ::SelectObject(dc, oldFont);
}

HBITMAP TAnaForm::shownBackground(HDC like, int width, int height) {
    Resources& res = *m_res;
    if (res.background && res.backgroundSize.cx == width && res.backgroundSize.cy == height) {
        return res.background;
    }
    // Stretched once for this size, from the picture decoded for the purpose and let go: the
    // copy drawn at the window's stored size for a page no larger, else the picture itself.
    if (res.background) {
        ::DeleteObject(res.background);
        res.background = nullptr;
    }
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    BITMAP info{};
    HBITMAP full = loadBitmapResource(L"BACKGROUND_SHOWN");
    if (full) {
        ::GetObjectW(full, sizeof info, &info);
        if (width > info.bmWidth || height > info.bmHeight) {
            ::DeleteObject(full);
            full = nullptr;
        }
    }
    if (!full) {
        full = loadJpegResource(L"BACKGROUND");
    }
    if (!full) {
        return nullptr;
    }
    ::GetObjectW(full, sizeof info, &info);
    HBITMAP fitted = ::CreateCompatibleBitmap(like, width, height);
    HDC from = ::CreateCompatibleDC(like);
    HDC to = ::CreateCompatibleDC(like);
    HGDIOBJ oldFrom = ::SelectObject(from, full);
    HGDIOBJ oldTo = ::SelectObject(to, fitted);
    ::SetStretchBltMode(to, HALFTONE);
    ::SetBrushOrgEx(to, 0, 0, nullptr);
    ::StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SelectObject(from, oldFrom);
    ::SelectObject(to, oldTo);
    ::DeleteDC(from);
    ::DeleteDC(to);
    ::DeleteObject(full);
    res.background = fitted;
    res.backgroundSize = SIZE{width, height};
    return fitted;
}

void TAnaForm::paintPage(HWND window, HDC target) {
    const TSkinColours& skin = TSkinController::Colours();
    RECT client;
    ::GetClientRect(window, &client);
    // Drawn off the screen first, so the picture and what lies on it never flicker.
    HDC dc = ::CreateCompatibleDC(target);
    HBITMAP canvas = ::CreateCompatibleBitmap(target, std::max<LONG>(1, client.right),
                                              std::max<LONG>(1, client.bottom));
    HGDIOBJ oldCanvas = ::SelectObject(dc, canvas);
    ::FillRect(dc, &client, TSkinController::Brush(skin.Window));
    if (window == m_pages[0]) {
        if (HBITMAP background = shownBackground(dc, client.right, client.bottom)) {
            HDC picture = ::CreateCompatibleDC(dc);
            HGDIOBJ old = ::SelectObject(picture, background);
            ::BitBlt(dc, 0, 0, client.right, client.bottom, picture, 0, 0, SRCCOPY);
            ::SelectObject(picture, old);
            ::DeleteDC(picture);
        }
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(0, 0, 0));
        HGDIOBJ oldFont = ::SelectObject(dc, m_res->font);
        ::TextOutW(dc, kLbl1.x, kLbl1.y, m_lbl1.c_str(), static_cast<int>(m_lbl1.size()));
        ::SelectObject(dc, m_res->lbl2Font);
        ::TextOutW(dc, kLbl2.x, kLbl2.y, L"lbl2", 4);
        ::SelectObject(dc, oldFont);
        m_led2->Paint(dc);
        m_led3->Paint(dc);
    } else if (window == m_splitter) {
        RECT bar{0, m_upperHeight, client.right, m_upperHeight + kSplitterBar};
        ::FillRect(dc, &bar, TSkinController::Brush(skin.Face));
    }
    ::BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::SelectObject(dc, oldCanvas);
    ::DeleteObject(canvas);
    ::DeleteDC(dc);
}

void TAnaForm::drawButton(const DRAWITEMSTRUCT& item) {
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT r = item.rcItem;
    const COLORREF face = pushed ? kButtonPushedFace : m_buttonHot ? kButtonHotFace : kButtonFace;
    ::FillRect(item.hDC, &r, TSkinController::Brush(face));
    ::FrameRect(item.hDC, &r, TSkinController::Brush(m_buttonHot ? kButtonHotFrame : kButtonFrame));
    HBITMAP picture = disabled ? m_res->documentDisabled : m_res->document;
    if (!picture) {
        return;
    }
    HDC source = ::CreateCompatibleDC(item.hDC);
    HGDIOBJ old = ::SelectObject(source, picture);
    const int x = r.left + (r.right - r.left - 16) / 2;
    const int y = r.top + (r.bottom - r.top - 16) / 2;
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(item.hDC, x, y, 16, 16, source, 0, 0, 16, 16, blend);
    ::SelectObject(source, old);
    ::DeleteDC(source);
}
