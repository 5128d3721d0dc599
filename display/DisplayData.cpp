// Data transfer of the control's picture at the control's size, drawn as a
// host would draw it through IViewObject::Draw, in two formats:
// - CF_DIB on TYMED_HGLOBAL: a BITMAPINFOHEADER followed by 32-bit rows, bottom
//   row first, in a global memory block;
// - CF_METAFILEPICT on TYMED_MFPICT: a global block holding a METAFILEPICT
//   (MM_ANISOTROPIC, the size in HIMETRIC at 96 pixels per inch) whose metafile
//   sets the window origin (0, 0) and the extent to the pixel size, so that a
//   player can scale it, and holds the drawing's one copy of its off-screen
//   bitmap.
// The caller frees either with ReleaseStgMedium.
#include <cstring>

#include "display/SonalterDisplay2.h"
#include "display/TopDownBitmap.h"

namespace qelv {
namespace {

// The formats offered, each with the one medium it comes on.
constexpr struct {
    CLIPFORMAT format;
    DWORD tymed;
} kFormats[] = {{CF_DIB, TYMED_HGLOBAL}, {CF_METAFILEPICT, TYMED_MFPICT}};

HRESULT CheckFormat(const FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    DWORD tymed = 0;
    for (const auto& offered : kFormats) {
        if (offered.format == format->cfFormat) tymed = offered.tymed;
    }
    if (!tymed) return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (format->lindex != -1) return DV_E_LINDEX;
    if ((format->tymed & tymed) == 0) return DV_E_TYMED;
    return S_OK;
}

}  // namespace

// The picture as a bottom-up 32-bit DIB in a new global block, or nullptr
// when out of memory (or the drawing failed: *hr says why).
HGLOBAL CSonalterDisplay2::PictureAsDib(SIZE size, HRESULT* hr) {
    const SIZE_T rowBytes = static_cast<SIZE_T>(size.cx) * 4;
    const SIZE_T pixelBytes = rowBytes * static_cast<SIZE_T>(size.cy);

    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = dc ? CreateTopDownBitmap(size.cx, size.cy, &bits) : nullptr;
    HGLOBAL block = bitmap ? GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixelBytes) : nullptr;
    *hr = block ? S_OK : E_OUTOFMEMORY;
    if (SUCCEEDED(*hr)) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        *hr = RenderGraph(dc, RECT{0, 0, size.cx, size.cy});
        SelectObject(dc, old);
    }
    BYTE* out = SUCCEEDED(*hr) ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
    if (out) {
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = size.cx;
        header.biHeight = size.cy;  // bottom-up, as the rows are stored below
        header.biPlanes = 1;
        header.biBitCount = 32;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(pixelBytes);
        std::memcpy(out, &header, sizeof header);
        const BYTE* top = static_cast<const BYTE*>(bits);
        for (LONG row = 0; row < size.cy; ++row) {
            std::memcpy(out + sizeof header + static_cast<SIZE_T>(size.cy - 1 - row) * rowBytes,
                        top + static_cast<SIZE_T>(row) * rowBytes, rowBytes);
        }
        GlobalUnlock(block);
    } else if (SUCCEEDED(*hr)) {
        *hr = E_OUTOFMEMORY;
    }
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    if (FAILED(*hr) && block) {
        GlobalFree(block);
        block = nullptr;
    }
    return block;
}

// The picture as a METAFILEPICT in a new global block, or nullptr when out of
// memory (or the drawing failed: *hr says why).
HGLOBAL CSonalterDisplay2::PictureAsMetafile(SIZE size, HRESULT* hr) {
    HDC recorder = CreateMetaFileW(nullptr);
    if (!recorder) {
        *hr = E_OUTOFMEMORY;
        return nullptr;
    }
    *hr = SetWindowOrgEx(recorder, 0, 0, nullptr) && SetWindowExtEx(recorder, size.cx, size.cy, nullptr)
              ? RenderGraph(recorder, RECT{0, 0, size.cx, size.cy})
              : E_OUTOFMEMORY;
    HMETAFILE metafile = CloseMetaFile(recorder);
    if (!metafile && SUCCEEDED(*hr)) *hr = E_OUTOFMEMORY;
    HGLOBAL block = SUCCEEDED(*hr) ? GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT)) : nullptr;
    auto* picture = block ? static_cast<METAFILEPICT*>(GlobalLock(block)) : nullptr;
    if (picture) {
        // HIMETRIC is 0.01 mm: 2540 units to the inch.
        picture->mm = MM_ANISOTROPIC;
        picture->xExt = MulDiv(size.cx, 2540, 96);
        picture->yExt = MulDiv(size.cy, 2540, 96);
        picture->hMF = metafile;
        GlobalUnlock(block);
        return block;
    }
    if (SUCCEEDED(*hr)) *hr = E_OUTOFMEMORY;
    if (block) GlobalFree(block);
    if (metafile) DeleteMetaFile(metafile);
    return nullptr;
}

STDMETHODIMP CSonalterDisplay2::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (!pmedium) return E_POINTER;
    std::memset(pmedium, 0, sizeof *pmedium);
    if (HRESULT hr = CheckFormat(pformatetcIn); FAILED(hr)) return hr;
    const SIZE size = ControlPixelSize();
    if (size.cx <= 0 || size.cy <= 0 || size.cx > 16384 || size.cy > 16384) return OLE_E_BLANK;

    HRESULT hr = S_OK;
    if (pformatetcIn->cfFormat == CF_METAFILEPICT) {
        HGLOBAL block = PictureAsMetafile(size, &hr);
        if (!block) return hr;
        pmedium->tymed = TYMED_MFPICT;
        pmedium->hMetaFilePict = block;
    } else {
        HGLOBAL block = PictureAsDib(size, &hr);
        if (!block) return hr;
        pmedium->tymed = TYMED_HGLOBAL;
        pmedium->hGlobal = block;
    }
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP CSonalterDisplay2::QueryGetData(FORMATETC* pformatetc) { return CheckFormat(pformatetc); }

// Neither format needs a target device: the canonical form is the one asked for.
STDMETHODIMP CSonalterDisplay2::GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) {
    if (!pformatectIn || !pformatetcOut) return E_INVALIDARG;
    *pformatetcOut = *pformatectIn;
    pformatetcOut->ptd = nullptr;
    return CheckFormat(pformatectIn) == S_OK ? DATA_S_SAMEFORMATETC : DV_E_FORMATETC;
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
