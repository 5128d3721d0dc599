// The standard font object of controls: IFont, its dispatch view IFontDisp, and
// OleCreateFontIndirect.
#pragma once

#include "ocidl.h"
#include "wingdi.h"

typedef struct tagFONTDESC {
    UINT cbSizeofstruct;
    LPOLESTR lpstrName;
    CY cySize;  // in ten-thousandths of a point
    SHORT sWeight;
    SHORT sCharset;
    BOOL fItalic;
    BOOL fUnderline;
    BOOL fStrikethrough;
} FONTDESC, *LPFONTDESC;

typedef TEXTMETRICW TEXTMETRICOLE;
typedef TEXTMETRICOLE* LPTEXTMETRICOLE;

struct IFont : public IUnknown {
    STDMETHOD(get_Name)(BSTR* pName) = 0;
    STDMETHOD(put_Name)(BSTR name) = 0;
    STDMETHOD(get_Size)(CY* pSize) = 0;
    STDMETHOD(put_Size)(CY size) = 0;
    STDMETHOD(get_Bold)(BOOL* pBold) = 0;
    STDMETHOD(put_Bold)(BOOL bold) = 0;
    STDMETHOD(get_Italic)(BOOL* pItalic) = 0;
    STDMETHOD(put_Italic)(BOOL italic) = 0;
    STDMETHOD(get_Underline)(BOOL* pUnderline) = 0;
    STDMETHOD(put_Underline)(BOOL underline) = 0;
    STDMETHOD(get_Strikethrough)(BOOL* pStrikethrough) = 0;
    STDMETHOD(put_Strikethrough)(BOOL strikethrough) = 0;
    STDMETHOD(get_Weight)(SHORT* pWeight) = 0;
    STDMETHOD(put_Weight)(SHORT weight) = 0;
    STDMETHOD(get_Charset)(SHORT* pCharset) = 0;
    STDMETHOD(put_Charset)(SHORT charset) = 0;
    STDMETHOD(get_hFont)(HFONT* phFont) = 0;
    STDMETHOD(Clone)(IFont** ppFont) = 0;
    STDMETHOD(IsEqual)(IFont* pFontOther) = 0;
    STDMETHOD(SetRatio)(LONG cyLogical, LONG cyHimetric) = 0;
    STDMETHOD(QueryTextMetrics)(TEXTMETRICOLE* pTM) = 0;
    STDMETHOD(AddRefHfont)(HFONT hFont) = 0;
    STDMETHOD(ReleaseHfont)(HFONT hFont) = 0;
    STDMETHOD(SetHdc)(HDC hDC) = 0;
};

// Dispatch identifiers of the font properties.
#define DISPID_FONT_NAME 0
#define DISPID_FONT_SIZE 2
#define DISPID_FONT_BOLD 3
#define DISPID_FONT_ITALIC 4
#define DISPID_FONT_UNDER 5
#define DISPID_FONT_STRIKE 6
#define DISPID_FONT_WEIGHT 7
#define DISPID_FONT_CHARSET 8

EXTERN_C QELV_PLATFORM_API const IID IID_IFont;
EXTERN_C QELV_PLATFORM_API const CLSID CLSID_StdFont;

WINOLEAUTAPI OleCreateFontIndirect(LPFONTDESC lpFontDesc, REFIID riid, LPVOID* lplpvObj);

// OleTranslateColor: an OLE_COLOR to the COLORREF that draws it (system colours
// through GetSysColor).
WINOLEAUTAPI OleTranslateColor(OLE_COLOR clr, HPALETTE hpal, COLORREF* lpcolorref);
