// A 32-bit device-independent bitmap with its top row first, the canvas the
// control draws its picture on when the target has no pixels of its own.
#pragma once

#include "server/Platform.h"

namespace qelv {

// A DIB section of width x height pixels (blue, green, red, unused byte), rows
// top-down; *bits receives its pixels. nullptr when out of memory.
HBITMAP CreateTopDownBitmap(LONG width, LONG height, void** bits);

}  // namespace qelv
