// A 32-bit device-independent bitmap with its top row first, the canvas the
// programs in hosts/ draw a control's picture on (header only).
#pragma once

namespace qelvhost {

// A DIB section of width x height pixels (blue, green, red, unused byte), rows
// top-down; *bits receives its pixels. nullptr when out of memory. Needs the
// Windows (or platform) headers included before.
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

}  // namespace qelvhost
