#include "serial/win32/DibPicture.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "serial/Exception.h"

namespace win32 {

TLedPicture PictureFromPackedDib(const void* data, std::size_t size) {
    BITMAPINFOHEADER header;
    if (size < sizeof header) {
        return {};
    }
    std::memcpy(&header, data, sizeof header);
    const int width = header.biWidth;
    const bool bottomUp = header.biHeight > 0;
    const int height = bottomUp ? header.biHeight : -header.biHeight;
    const int bits = header.biBitCount;
    const bool plain =
        header.biCompression == BI_RGB || (header.biCompression == BI_BITFIELDS && bits == 32);
    if (width <= 0 || height <= 0 || !plain ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t offset = header.biSize;
    if (header.biCompression == BI_BITFIELDS && header.biSize == sizeof header) {
        offset += 12;  // the three masks after the header
    }
    const std::size_t colours =
        bits <= 8 ? (header.biClrUsed ? header.biClrUsed : (1u << bits)) : 0;
    const std::uint8_t* table = bytes + offset;
    offset += colours * 4;
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (size < offset + stride * static_cast<std::size_t>(height)) {
        return {};
    }
    TLedPicture picture;
    picture.Width = width;
    picture.Height = height;
    picture.Pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    auto rgb = [](const std::uint8_t* bgr) {
        return (std::uint32_t{bgr[2]} << 16) | (std::uint32_t{bgr[1]} << 8) | bgr[0];
    };
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row =
            bytes + offset + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = 0;
            if (bits >= 24) {
                colour = rgb(row + static_cast<std::size_t>(x) * (bits / 8));
            } else {
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                colour = index < colours ? rgb(table + index * 4) : 0;
            }
            picture.Pixels[static_cast<std::size_t>(y * width + x)] = colour;
        }
    }
    return picture;
}

TLedPicture PictureFromResource(const char* name) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, name, MAKEINTRESOURCEA(2));  // RT_BITMAP
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    TLedPicture picture =
        data ? PictureFromPackedDib(data, ::SizeofResource(module, found)) : TLedPicture{};
    if (picture.Empty()) {
        throw Exception(std::string("Resource ") + name + " not found");
    }
    return picture;
}

namespace {

// A 32-bit top-down DIB section of the given size, its pixels at `bits`.
HBITMAP topDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

void DrawTransparent(HDC dc, int x, int y, const TLedPicture& picture) {
    if (picture.Empty()) {
        return;
    }
    void* bits = nullptr;
    HBITMAP bitmap = topDownDib(dc, picture.Width, picture.Height, &bits);
    if (!bitmap) {
        return;
    }
    // Premultiplied: a transparent pixel is all zero, every other one fully opaque.
    auto* out = static_cast<std::uint32_t*>(bits);
    const std::uint32_t transparent = picture.TransparentColor();
    for (std::size_t i = 0; i < picture.Pixels.size(); ++i) {
        const std::uint32_t colour = picture.Pixels[i];
        out[i] = colour == transparent ? 0u : (0xFF000000u | colour);
    }
    HDC source = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(source, bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, x, y, picture.Width, picture.Height, source, 0, 0, picture.Width,
                 picture.Height, blend);
    ::SelectObject(source, old);
    ::DeleteDC(source);
    ::DeleteObject(bitmap);
}

TLedPicture PictureFromDc(HDC dc, const RECT& area) {
    TLedPicture picture;
    const int width = area.right - area.left, height = area.bottom - area.top;
    void* bits = nullptr;
    HBITMAP bitmap = width > 0 && height > 0 ? topDownDib(dc, width, height, &bits) : nullptr;
    if (!bitmap) {
        return picture;
    }
    HDC copy = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(copy, bitmap);
    ::BitBlt(copy, 0, 0, width, height, dc, area.left, area.top, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    picture.Width = width;
    picture.Height = height;
    picture.Pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
        picture.Pixels.push_back(pixels[i] & 0xFFFFFFu);
    }
    ::SelectObject(copy, old);
    ::DeleteDC(copy);
    ::DeleteObject(bitmap);
    return picture;
}

}  // namespace win32
