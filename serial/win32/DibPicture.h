// Lamp pictures and Windows bitmaps: reading a packed DIB (a bitmap resource, a .bmp file's
// body), drawing a picture with its bottom-left colour transparent, reading a device
// context back into a picture.
#pragma once

#include <windows.h>

#include <cstddef>

#include "serial/ComLed.h"

namespace win32 {

// A packed DIB of 1, 4, 8, 24 or 32 bits per pixel, uncompressed; empty when unreadable.
TLedPicture PictureFromPackedDib(const void* data, std::size_t size);
// A bitmap resource of this program by name; Exception "Resource NAME not found".
TLedPicture PictureFromResource(const char* name);
// Draws `picture` at (x, y), where it has its bottom-left pixel's colour transparent.
void DrawTransparent(HDC dc, int x, int y, const TLedPicture& picture);
// What `area` of `dc` shows, 0xRRGGBB: a screenshot in the lamps' picture form.
TLedPicture PictureFromDc(HDC dc, const RECT& area);

}  // namespace win32
