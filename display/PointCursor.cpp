// The point cursor, drawn from a small picture: 'X' is black, 'o' white, '.'
// transparent. The masks follow the platform's rule for two-colour cursors:
// AND 1 + XOR 0 leaves the screen, AND 0 + XOR 0 is black, AND 0 + XOR 1 white.
#include "display/PointCursor.h"

#include <cstring>

namespace qelv {
namespace {

constexpr int kSize = 32;

// Rows of the picture; rows beyond these are transparent.
const char* const kPicture[] = {
    "....XX..........",
    "...XooX.........",
    "...XooX.........",
    "...XooX.........",
    "...XooX.........",
    "...XooXXX.......",
    "...XooXooXXX....",
    "...XooXooXooXX..",
    "XX.XooXooXooXoX.",
    "XoXXooooooooXoX.",
    "XooXooooooooooX.",
    ".XoXooooooooooX.",
    "..XXooooooooooX.",
    "..XoooooooooooX.",
    "...XoooooooooX..",
    "...XoooooooooX..",
    "....XoooooooX...",
    "....XoooooooX...",
    "....XXXXXXXXX...",
};

}  // namespace

HCURSOR CreatePointCursor() {
    BYTE andMask[kSize * kSize / 8];
    BYTE xorMask[kSize * kSize / 8];
    std::memset(andMask, 0xFF, sizeof andMask);
    std::memset(xorMask, 0x00, sizeof xorMask);
    const int rows = static_cast<int>(sizeof kPicture / sizeof kPicture[0]);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; kPicture[y][x] != '\0'; ++x) {
            const char c = kPicture[y][x];
            if (c == '.') continue;
            const int bit = y * kSize + x;
            const BYTE mask = static_cast<BYTE>(0x80u >> (bit % 8));
            andMask[bit / 8] = static_cast<BYTE>(andMask[bit / 8] & ~mask);
            if (c != 'X') xorMask[bit / 8] = static_cast<BYTE>(xorMask[bit / 8] | mask);
        }
    }
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CreatePointCursor), &module);
    return CreateCursor(reinterpret_cast<HINSTANCE>(module), 5, 1, kSize, kSize, andMask, xorMask);
}

}  // namespace qelv
