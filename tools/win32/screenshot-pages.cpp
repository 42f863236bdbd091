// Saves a PNG of each page of the Win32 window, frame included, with the same few lines on
// the screens as the Linux tool shows, for review side by side:
//   wine build-mingw/bin/screenshot-pages.exe [output folder]
// Where COM3 opens (scripts/wine-tests.sh gives it one), page 1 once more with the port
// open: the lamps' "on" pictures.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/win32/AnaForm.h"
#include "app/win32/Application.h"
#include "app/win32/DMUnit.h"
#include "app/win32/WideText.h"
#include "serial/win32/DibPicture.h"
#include "serial/win32/MessagePump.h"
#include "tools/ReviewLines.h"

namespace {

void settle(int ms) {
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
    while (::GetTickCount64() < until) {
        win32::ProcessMessages();
        ::Sleep(5);
    }
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void chunk(std::vector<std::uint8_t>& png, const char* type,
           const std::vector<std::uint8_t>& body) {
    put32(png, static_cast<std::uint32_t>(body.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    put32(png, crc32(typed.data(), typed.size()));
}

// An RGB picture as PNG, its image data in stored (uncompressed) deflate blocks: no library
// needed, and a review tool's pictures are small enough.
bool savePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        const auto* row = rgb.data() + static_cast<std::size_t>(y) * width * 3;
        raw.insert(raw.end(), row, row + static_cast<std::size_t>(width) * 3);
    }
    std::vector<std::uint8_t> z = {0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                 raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (n == 0) {
            break;
        }
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    FILE* file = _wfopen(win32::FromUtf8(path).c_str(), L"wb");
    if (!file) {
        return false;
    }
    const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

// The window as the screen shows it, its frame included.
bool saveWindow(HWND window, const std::string& path) {
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    settle(100);
    RECT r;
    ::GetWindowRect(window, &r);
    HDC screen = ::GetDC(nullptr);
    const TLedPicture shot = win32::PictureFromDc(screen, r);
    ::ReleaseDC(nullptr, screen);
    std::vector<std::uint8_t> rgb;
    rgb.reserve(shot.Pixels.size() * 3);
    for (const std::uint32_t c : shot.Pixels) {
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(c >> 16),
                               static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)});
    }
    return savePng(path, shot.Width, shot.Height, rgb);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    TApplication application;
    const std::string folder = argc > 1 ? win32::ToUtf8(argv[1]) : std::string(".");
    ::CreateDirectoryW(win32::FromUtf8(folder).c_str(), nullptr);
    TAnaForm form;
    TDM dm;
    form.SetStartUpOnShow(false);
    form.Show();
    ::SetWindowPos(form.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    form.SetPortLabel(form.ComPort()->Port());
    WriteReviewLines(form);
    int saved = 0;
    for (int i = 0; i < 3; ++i) {
        form.SelectPage(i);
        saved += saveWindow(form.Handle(), folder + "/page" + std::to_string(i + 1) + ".png");
    }
    try {
        form.ComPort()->SetConnected(true);
        form.SelectPage(0);
        saveWindow(form.Handle(), folder + "/page1-open.png");
        form.ComPort()->SetConnected(false);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "page1-open.png left out: %s\n", e.what());
    }
    form.SetInfoEnabled(false);
    form.SelectPage(1);
    saveWindow(form.Handle(), folder + "/page2-info-disabled.png");
    return saved == 3 ? 0 : 1;
}
