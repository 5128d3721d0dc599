// Data transfer of the control's picture: a device-independent bitmap of the
// control at its size (CF_DIB: a BITMAPINFOHEADER followed by 32-bit rows,
// bottom row first, in a global memory block the caller frees with
// ReleaseStgMedium), drawn as a host would draw it through IViewObject::Draw.
// The picture is a bitmap, not a metafile, so that it is the same on every
// platform the control runs on.
#include <cstring>

#include "display/SonalterDisplay2.h"

namespace qelv {
namespace {

bool IsPictureFormat(const FORMATETC* format) {
    return format->cfFormat == CF_DIB && format->dwAspect == DVASPECT_CONTENT && format->lindex == -1 &&
           (format->tymed & TYMED_HGLOBAL) != 0;
}

HRESULT CheckFormat(const FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    if (format->cfFormat != CF_DIB) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (format->lindex != -1) return DV_E_LINDEX;
    if ((format->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    return S_OK;
}

}  // namespace

STDMETHODIMP CSonalterDisplay2::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (!pmedium) return E_POINTER;
    std::memset(pmedium, 0, sizeof *pmedium);
    if (HRESULT hr = CheckFormat(pformatetcIn); FAILED(hr)) return hr;
    const SIZE size = ControlPixelSize();
    if (size.cx <= 0 || size.cy <= 0 || size.cx > 16384 || size.cy > 16384) return OLE_E_BLANK;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // drawn top-down, stored bottom-up below
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const SIZE_T rowBytes = static_cast<SIZE_T>(size.cx) * 4;
    const SIZE_T pixelBytes = rowBytes * static_cast<SIZE_T>(size.cy);

    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    HGLOBAL block = bitmap ? GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixelBytes) : nullptr;
    HRESULT hr = block ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        hr = RenderGraph(dc, RECT{0, 0, size.cx, size.cy});
        SelectObject(dc, old);
    }
    BYTE* out = SUCCEEDED(hr) ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
    if (out) {
        BITMAPINFOHEADER header = info.bmiHeader;
        header.biHeight = size.cy;
        header.biSizeImage = static_cast<DWORD>(pixelBytes);
        std::memcpy(out, &header, sizeof header);
        const BYTE* top = static_cast<const BYTE*>(bits);
        for (LONG row = 0; row < size.cy; ++row) {
            std::memcpy(out + sizeof header + static_cast<SIZE_T>(size.cy - 1 - row) * rowBytes,
                        top + static_cast<SIZE_T>(row) * rowBytes, rowBytes);
        }
        GlobalUnlock(block);
    } else if (SUCCEEDED(hr)) {
        hr = E_OUTOFMEMORY;
    }
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    if (FAILED(hr)) {
        if (block) GlobalFree(block);
        return hr;
    }
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = block;
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP CSonalterDisplay2::QueryGetData(FORMATETC* pformatetc) { return CheckFormat(pformatetc); }

// The one format needs no target device: its canonical form is itself.
STDMETHODIMP CSonalterDisplay2::GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) {
    if (!pformatectIn || !pformatetcOut) return E_INVALIDARG;
    *pformatetcOut = *pformatectIn;
    pformatetcOut->ptd = nullptr;
    return IsPictureFormat(pformatectIn) ? DATA_S_SAMEFORMATETC : DV_E_FORMATETC;
}

STDMETHODIMP CSonalterDisplay2::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

// The formats are listed in the registry's data formats of the class.
STDMETHODIMP CSonalterDisplay2::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
    if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
    return OLE_S_USEREG;
}

// Changes of the picture reach a container through the view sink.
STDMETHODIMP CSonalterDisplay2::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* pdwConnection) {
    if (pdwConnection) *pdwConnection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CSonalterDisplay2::DUnadvise(DWORD) { return OLE_E_NOCONNECTION; }

STDMETHODIMP CSonalterDisplay2::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace qelv
