// OleTranslateColor: the colour a control property names, as the device
// draws it.
#include <qelvsonalter2/platform.h>

// OleTranslateColor: an OLE_COLOR to a COLORREF.
//   clr        [in] the colour: 0x00BBGGRR an RGB colour; 0x01000000 | index a
//              palette index; 0x02BBGGRR a palette-relative RGB colour;
//              0x80000000 | index the system colour index (0 .. 30) of GetSysColor.
//   hpal       [in] a palette; none is supported here, so NULL is expected and
//              any value is treated as NULL.
//   lpcolorref [out] the colour; may be NULL to validate only. Untouched on failure.
// Returns S_OK, or E_INVALIDARG for any other high byte, a system colour index
// out of range or bits set between the index and the high byte.
WINOLEAUTAPI OleTranslateColor(OLE_COLOR clr, HPALETTE, COLORREF* lpcolorref) {
    COLORREF result = 0;
    switch (clr >> 24) {
        case 0x00:
        case 0x01:
        case 0x02: result = clr; break;
        case 0x80: {
            if (clr & 0x00FF0000) return E_INVALIDARG;
            const int index = static_cast<int>(clr & 0xFFFF);
            if (index > COLOR_MENUBAR) return E_INVALIDARG;
            result = GetSysColor(index);
            break;
        }
        default: return E_INVALIDARG;
    }
    if (lpcolorref) *lpcolorref = result;
    return S_OK;
}
