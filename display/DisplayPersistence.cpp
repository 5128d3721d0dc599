// Saving and loading the control's properties: a versioned property stream, or
// the same stream named "Contents" in a storage.
//
// Stream layout (integers little-endian):
//   version       unsigned 32-bit, 0x00000700
//   "_cx", "_cy"  unsigned 32-bit each: the extent in HIMETRIC
//   22 properties in the order of kPersisted, each a variant: 16-bit variant
//   type, then VT_UI4/VT_I4/VT_R4 4 bytes, VT_BOOL 2 bytes, VT_BSTR a 32-bit
//   byte count including the 2-byte terminator (0 for no string) and those
//   bytes of UTF-16, VT_DISPATCH the font object's class identifier followed
//   by the font object's own stream.
// The points are not saved: a loaded control keeps its two default points.
#include <cstring>
#include <vector>

#include "display/SonalterDisplay2.h"

namespace qelv {
namespace {

constexpr DWORD kStreamVersion = 0x00000700;

struct PersistedProperty {
    const OLECHAR* name;  // the name the property is saved under
    DISPID dispid;
    VARTYPE vt;
};

// "SplineEnable" holds SplineType and "Font" the ScaleFont.
const PersistedProperty kPersisted[] = {
    {OLESTR("BorderColor"), 0x0A, VT_UI4},   {OLESTR("BackColor"), 0x0B, VT_UI4},
    {OLESTR("GridColor"), 0x0C, VT_UI4},     {OLESTR("ScaleColor"), 0x0D, VT_UI4},
    {OLESTR("TextColor"), 0x0E, VT_UI4},     {OLESTR("Color"), 0x0F, VT_UI4},
    {OLESTR("GridVisible"), 0x10, VT_BOOL},  {OLESTR("ScaleXVisible"), 0x11, VT_BOOL},
    {OLESTR("ScaleYVisible"), 0x12, VT_BOOL}, {OLESTR("BorderStyle"), 0x13, VT_I4},
    {OLESTR("Font"), 0x14, VT_DISPATCH},     {OLESTR("LineArraySize"), 0x15, VT_I4},
    {OLESTR("PointColor"), 0x16, VT_UI4},    {OLESTR("SplineEnable"), 0x17, VT_I4},
    {OLESTR("ScaleXMax"), 0x18, VT_R4},      {OLESTR("ScaleYMax"), 0x19, VT_R4},
    {OLESTR("ScaleXMin"), 0x1A, VT_R4},      {OLESTR("ScaleYMin"), 0x1B, VT_R4},
    {OLESTR("LogScale"), 0x1C, VT_BOOL},     {OLESTR("ScaleXCaption"), 0x1D, VT_BSTR},
    {OLESTR("ScaleYCaption"), 0x1E, VT_BSTR}, {OLESTR("SplineSteepnes"), 0x1F, VT_I4},
};

const OLECHAR kContentsName[] = OLESTR("Contents");

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT ReadAll(IStream* stream, void* data, ULONG size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : E_FAIL;
}

HRESULT WriteU16(IStream* stream, WORD value) {
    const BYTE bytes[2] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8)};
    return WriteAll(stream, bytes, 2);
}

HRESULT WriteU32(IStream* stream, DWORD value) {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    return WriteAll(stream, bytes, 4);
}

HRESULT ReadU16(IStream* stream, WORD* value) {
    BYTE bytes[2];
    const HRESULT hr = ReadAll(stream, bytes, 2);
    if (SUCCEEDED(hr)) *value = static_cast<WORD>(bytes[0] | (bytes[1] << 8));
    return hr;
}

HRESULT ReadU32(IStream* stream, DWORD* value) {
    BYTE bytes[4];
    const HRESULT hr = ReadAll(stream, bytes, 4);
    if (SUCCEEDED(hr)) {
        *value = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
                 (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
    }
    return hr;
}

DWORD FloatBits(FLOAT value) {
    DWORD bits;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

FLOAT BitsFloat(DWORD bits) {
    FLOAT value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

HRESULT WriteString(IStream* stream, BSTR text) {
    if (!text) return WriteU32(stream, 0);
    const UINT length = SysStringLen(text);
    if (length > 0x7FFFFFFE / 2) return E_FAIL;
    const DWORD bytes = (length + 1) * 2;
    HRESULT hr = WriteU32(stream, bytes);
    for (UINT k = 0; SUCCEEDED(hr) && k <= length; ++k) hr = WriteU16(stream, static_cast<WORD>(text[k]));
    return hr;
}

// A string of byteCount bytes including its terminator; none for 0. The units
// are gathered as they are read, so a count larger than the stream holds fails
// at the stream's end instead of asking for that much memory first.
HRESULT ReadString(IStream* stream, BSTR* text) {
    *text = nullptr;
    DWORD bytes = 0;
    HRESULT hr = ReadU32(stream, &bytes);
    if (FAILED(hr) || bytes == 0) return hr;
    if (bytes < 2 || (bytes & 1) != 0 || bytes > 0x7FFFFFFE) return E_FAIL;
    const UINT length = bytes / 2 - 1;
    std::vector<OLECHAR> units;
    for (UINT k = 0; SUCCEEDED(hr) && k <= length; ++k) {
        WORD unit = 0;
        hr = ReadU16(stream, &unit);
        if (SUCCEEDED(hr) && k < length) units.push_back(static_cast<OLECHAR>(unit));
    }
    if (FAILED(hr)) return hr;
    BSTR result = SysAllocStringLen(units.data(), length);
    if (!result) return E_OUTOFMEMORY;
    *text = result;
    return S_OK;
}

// The font as the platform saves an object to a stream: class identifier, then
// the object's own persisted data.
HRESULT WriteFont(IStream* stream, IFontDisp* font) {
    if (!font) return WriteClassStm(stream, CLSID_NULL);
    IPersistStream* persist = nullptr;
    HRESULT hr = font->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist));
    if (FAILED(hr)) return hr;
    hr = OleSaveToStream(persist, stream);
    persist->Release();
    return hr;
}

// A font object loaded from the stream; none for the null class identifier.
HRESULT ReadFont(IStream* stream, IFontDisp** font) {
    *font = nullptr;
    CLSID clsid;
    HRESULT hr = ReadClassStm(stream, &clsid);
    if (FAILED(hr)) return hr;
    if (IsEqualCLSID(clsid, CLSID_NULL)) return S_OK;
    LARGE_INTEGER back;
    back.QuadPart = -static_cast<LONGLONG>(sizeof(CLSID));
    hr = stream->Seek(back, STREAM_SEEK_CUR, nullptr);
    if (FAILED(hr)) return hr;
    return OleLoadFromStream(stream, IID_IFontDisp, reinterpret_cast<void**>(font));
}

}  // namespace

// ---- IPersist, IPersistStreamInit ---------------------------------------------------

STDMETHODIMP CSonalterDisplay2::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_SonalterDisplay2;
    return S_OK;
}

// Property puts do not mark the control as changed, so it never asks to be saved.
STDMETHODIMP CSonalterDisplay2::IsDirty() { return S_FALSE; }

STDMETHODIMP CSonalterDisplay2::InitNew() { return S_OK; }

STDMETHODIMP CSonalterDisplay2::Save(LPSTREAM pStm, BOOL) {
    if (!pStm) return E_POINTER;
    HRESULT hr = WriteU32(pStm, kStreamVersion);
    if (SUCCEEDED(hr)) hr = WriteU32(pStm, static_cast<DWORD>(Extent.cx));
    if (SUCCEEDED(hr)) hr = WriteU32(pStm, static_cast<DWORD>(Extent.cy));
    for (const PersistedProperty& property : kPersisted) {
        if (FAILED(hr)) return hr;
        hr = WriteU16(pStm, property.vt);
        if (FAILED(hr)) return hr;
        switch (property.dispid) {
            case 0x0A: hr = WriteU32(pStm, BorderColor); break;
            case 0x0B: hr = WriteU32(pStm, BackColor); break;
            case 0x0C: hr = WriteU32(pStm, GridColor); break;
            case 0x0D: hr = WriteU32(pStm, ScaleColor); break;
            case 0x0E: hr = WriteU32(pStm, TextColor); break;
            case 0x0F: hr = WriteU32(pStm, Color); break;
            case 0x10: hr = WriteU16(pStm, static_cast<WORD>(GridVisible)); break;
            case 0x11: hr = WriteU16(pStm, static_cast<WORD>(ScaleXVisible)); break;
            case 0x12: hr = WriteU16(pStm, static_cast<WORD>(ScaleYVisible)); break;
            case 0x13: hr = WriteU32(pStm, static_cast<DWORD>(BorderStyle)); break;
            case 0x14: {
                IFontDisp* font = nullptr;
                hr = get_ScaleFont(&font);
                if (SUCCEEDED(hr)) hr = WriteFont(pStm, font);
                if (font) font->Release();
                break;
            }
            case 0x15: hr = WriteU32(pStm, static_cast<DWORD>(LineArraySize)); break;
            case 0x16: hr = WriteU32(pStm, PointColor); break;
            case 0x17: hr = WriteU32(pStm, static_cast<DWORD>(SplineType)); break;
            case 0x18: hr = WriteU32(pStm, FloatBits(ScaleXMax)); break;
            case 0x19: hr = WriteU32(pStm, FloatBits(ScaleYMax)); break;
            case 0x1A: hr = WriteU32(pStm, FloatBits(ScaleXMin)); break;
            case 0x1B: hr = WriteU32(pStm, FloatBits(ScaleYMin)); break;
            case 0x1C: hr = WriteU16(pStm, static_cast<WORD>(LogScale)); break;
            case 0x1D: hr = WriteString(pStm, ScaleXCaption); break;
            case 0x1E: hr = WriteString(pStm, ScaleYCaption); break;
            case 0x1F: hr = WriteU32(pStm, static_cast<DWORD>(SplineSteepnes)); break;
            default: hr = E_UNEXPECTED; break;
        }
    }
    return hr;
}

// Reads the version (a newer one than 0x0700 fails), the extent, then each
// property in order, setting it through its put member. A property of another
// variant type than saved, a stream that ends early, or a refused put stops the
// load with E_FAIL; the properties read before it keep their new values.
STDMETHODIMP CSonalterDisplay2::Load(LPSTREAM pStm) {
    if (!pStm) return E_POINTER;
    DWORD version = 0;
    if (FAILED(ReadU32(pStm, &version)) || version > kStreamVersion) return E_FAIL;
    DWORD cx = 0;
    DWORD cy = 0;
    if (FAILED(ReadU32(pStm, &cx)) || FAILED(ReadU32(pStm, &cy))) return E_FAIL;
    Extent.cx = static_cast<LONG>(cx);
    Extent.cy = static_cast<LONG>(cy);
    for (const PersistedProperty& property : kPersisted) {
        WORD vt = 0;
        if (FAILED(ReadU16(pStm, &vt)) || vt != property.vt) return E_FAIL;
        HRESULT hr = S_OK;
        DWORD value = 0;
        WORD flag = 0;
        switch (property.vt) {
            case VT_UI4:
            case VT_I4:
            case VT_R4:
                hr = ReadU32(pStm, &value);
                break;
            case VT_BOOL:
                hr = ReadU16(pStm, &flag);
                break;
            default:
                break;
        }
        if (FAILED(hr)) return E_FAIL;
        switch (property.dispid) {
            case 0x0A: hr = put_BorderColor(value); break;
            case 0x0B: hr = put_BackColor(value); break;
            case 0x0C: hr = put_GridColor(value); break;
            case 0x0D: hr = put_ScaleColor(value); break;
            case 0x0E: hr = put_TextColor(value); break;
            case 0x0F: hr = put_Color(value); break;
            case 0x10: hr = put_GridVisible(static_cast<VARIANT_BOOL>(flag)); break;
            case 0x11: hr = put_ScaleXVisible(static_cast<VARIANT_BOOL>(flag)); break;
            case 0x12: hr = put_ScaleYVisible(static_cast<VARIANT_BOOL>(flag)); break;
            case 0x13: hr = put_BorderStyle(static_cast<BorderTypeConstants>(static_cast<LONG>(value))); break;
            case 0x14: {
                IFontDisp* font = nullptr;
                hr = ReadFont(pStm, &font);
                if (SUCCEEDED(hr)) hr = putref_ScaleFont(font);
                if (font) font->Release();
                break;
            }
            case 0x15: hr = put_LineArraySize(static_cast<LONG>(value)); break;
            case 0x16: hr = put_PointColor(value); break;
            case 0x17: hr = put_SplineType(static_cast<SplineTypeConstants>(static_cast<LONG>(value))); break;
            case 0x18: hr = put_ScaleXMax(BitsFloat(value)); break;
            case 0x19: hr = put_ScaleYMax(BitsFloat(value)); break;
            case 0x1A: hr = put_ScaleXMin(BitsFloat(value)); break;
            case 0x1B: hr = put_ScaleYMin(BitsFloat(value)); break;
            case 0x1C: hr = put_LogScale(static_cast<VARIANT_BOOL>(flag)); break;
            case 0x1D:
            case 0x1E: {
                BSTR text = nullptr;
                hr = ReadString(pStm, &text);
                if (SUCCEEDED(hr)) hr = property.dispid == 0x1D ? put_ScaleXCaption(text) : put_ScaleYCaption(text);
                SysFreeString(text);
                break;
            }
            case 0x1F: hr = put_SplineSteepnes(static_cast<LONG>(value)); break;
            default: hr = E_UNEXPECTED; break;
        }
        if (FAILED(hr)) return E_FAIL;
    }
    return S_OK;
}

// The exact size of the stream Save would write now.
STDMETHODIMP CSonalterDisplay2::GetSizeMax(ULARGE_INTEGER* pCbSize) {
    if (!pCbSize) return E_POINTER;
    IStream* scratch = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &scratch);
    if (FAILED(hr)) return hr;
    hr = Save(scratch, FALSE);
    if (SUCCEEDED(hr)) {
        STATSTG stat{};
        hr = scratch->Stat(&stat, STATFLAG_NONAME);
        if (SUCCEEDED(hr)) *pCbSize = stat.cbSize;
    }
    scratch->Release();
    return hr;
}

// ---- IPersistStorage ---------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::InitNew(IStorage* pStg) { return pStg ? S_OK : E_POINTER; }

STDMETHODIMP CSonalterDisplay2::Load(IStorage* pStg) {
    if (!pStg) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = pStg->OpenStream(kContentsName, nullptr, STGM_DIRECT | STGM_SHARE_EXCLUSIVE | STGM_READ, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = Load(stream);
    stream->Release();
    return hr;
}

STDMETHODIMP CSonalterDisplay2::Save(IStorage* pStgSave, BOOL) {
    if (!pStgSave) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = pStgSave->CreateStream(kContentsName, STGM_DIRECT | STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE,
                                        0, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = Save(stream, TRUE);
    stream->Release();
    return hr;
}

STDMETHODIMP CSonalterDisplay2::SaveCompleted(IStorage*) { return S_OK; }

STDMETHODIMP CSonalterDisplay2::HandsOffStorage() { return S_OK; }

}  // namespace qelv
