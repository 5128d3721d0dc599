// A 32-bit device-independent bitmap with its top row first: the canvas the
// control draws its picture on when the target has no pixels of its own, and
// the one the programs in hosts/ draw a control's picture on (header only;
// include the Windows or platform headers before it).
#pragma once

namespace qelv {

// A DIB section of width x height pixels (blue, green, red, unused byte), rows
// top-down; *bits receives its pixels. nullptr when out of memory.
inline HBITMAP CreateTopDownBitmap(LONG width, LONG height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace qelv
