// The standard font object (OleCreateFontIndirect): IFont, its dispatch view
// IFontDisp, and IPersistStream in the standard font object's stream format:
//   version   u8, 0x01
//   charset   u16
//   flags     u8: 0x02 italic, 0x04 underline, 0x08 strike-out
//   weight    u16
//   size      u32, the low part of the size in ten-thousandths of a point
//   name      u8 byte count, then the name in CP_ACP without a terminator
// All integers little-endian.
//
// Its font handle is realised at the screen's ratio (LOGPIXELSY logical units
// per 2540 HIMETRIC, 96 here) unless SetRatio gives another: the height in
// logical units is size * cyLogical * 635 / (cyHimetric * 18) ten-thousandths
// (pixels at 96 per inch: 9 points -> 12), rounded down when the fraction is at
// most one half, negated (a character height). The description is kept as
// given; realising the handle does not rename the face.
#include <qelvsonalter2/platform.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr BYTE kPersistItalic = 0x02;
constexpr BYTE kPersistUnderline = 0x04;
constexpr BYTE kPersistStrike = 0x08;

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : E_FAIL;
}

HRESULT ReadAll(IStream* stream, void* data, ULONG size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : E_FAIL;
}

LONG ScreenPixelsPerInch() {
    HDC screen = GetDC(nullptr);
    const int perInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return perInch > 0 ? perInch : 96;
}

class CStdFont final : public IFont, public IFontDisp, public IPersistStream {
public:
    explicit CStdFont(const FONTDESC& description)
        : name_(description.lpstrName ? description.lpstrName : u""),
          size_(description.cySize),
          weight_(description.sWeight),
          charset_(description.sCharset),
          italic_(description.fItalic != 0),
          underline_(description.fUnderline != 0),
          strike_(description.fStrikethrough != 0) {}
    ~CStdFont() { DropHandle(); }

    // ---- IUnknown ----
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IFont)) {
            *ppv = static_cast<IFont*>(this);
        } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IFontDisp)) {
            *ppv = static_cast<IFontDisp*>(this);
        } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStream)) {
            *ppv = static_cast<IPersistStream*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // ---- IFont ----
    STDMETHODIMP get_Name(BSTR* pName) override {
        if (!pName) return E_POINTER;
        *pName = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return *pName ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP put_Name(BSTR name) override {
        if (!name) return CTL_E_INVALIDPROPERTYVALUE;
        name_.assign(name, SysStringLen(name));
        Changed();
        return S_OK;
    }
    // The size of the realised height: its pixels converted back at the ratio.
    STDMETHODIMP get_Size(CY* pSize) override {
        if (!pSize) return E_POINTER;
        const LONG height = RealisedHeight();
        pSize->int64 = 0;
        // pixels * cyHimetric * 720000 / (cyLogical * 2540), rounded to nearest.
        const long long pixels = height < 0 ? -static_cast<long long>(height) : height;
        const long long numerator = pixels * cyHimetric_ * 720000;
        const long long denominator = static_cast<long long>(cyLogical_) * 2540;
        const long long half = (denominator < 0 ? -denominator : denominator) / 2;
        const long long size = numerator >= 0 ? (numerator + half) / denominator : (numerator - half) / denominator;
        pSize->Lo = static_cast<ULONG>(size);
        return S_OK;
    }
    STDMETHODIMP put_Size(CY size) override {
        size_.Lo = size.Lo;
        size_.Hi = 0;
        Changed();
        return S_OK;
    }
    STDMETHODIMP get_Bold(BOOL* pBold) override {
        if (!pBold) return E_POINTER;
        *pBold = weight_ > 550;
        return S_OK;
    }
    STDMETHODIMP put_Bold(BOOL bold) override {
        weight_ = bold ? FW_BOLD : FW_NORMAL;
        Changed();
        return S_OK;
    }
    STDMETHODIMP get_Italic(BOOL* p) override { return Give(p, italic_); }
    STDMETHODIMP put_Italic(BOOL v) override { return Set(italic_, v); }
    STDMETHODIMP get_Underline(BOOL* p) override { return Give(p, underline_); }
    STDMETHODIMP put_Underline(BOOL v) override { return Set(underline_, v); }
    STDMETHODIMP get_Strikethrough(BOOL* p) override { return Give(p, strike_); }
    STDMETHODIMP put_Strikethrough(BOOL v) override { return Set(strike_, v); }
    STDMETHODIMP get_Weight(SHORT* pWeight) override {
        if (!pWeight) return E_POINTER;
        *pWeight = weight_;
        return S_OK;
    }
    STDMETHODIMP put_Weight(SHORT weight) override {
        weight_ = weight;
        Changed();
        return S_OK;
    }
    STDMETHODIMP get_Charset(SHORT* pCharset) override {
        if (!pCharset) return E_POINTER;
        *pCharset = charset_;
        return S_OK;
    }
    STDMETHODIMP put_Charset(SHORT charset) override {
        charset_ = charset;
        Changed();
        return S_OK;
    }
    // The handle belongs to the font object; it stays valid until the
    // description changes or the object goes.
    STDMETHODIMP get_hFont(HFONT* phFont) override {
        if (!phFont) return E_POINTER;
        if (!handle_) {
            LOGFONTW font{};
            font.lfHeight = RealisedHeight();
            font.lfWeight = weight_;
            font.lfItalic = italic_;
            font.lfUnderline = underline_;
            font.lfStrikeOut = strike_;
            font.lfCharSet = static_cast<BYTE>(charset_);
            font.lfOutPrecision = OUT_CHARACTER_PRECIS;
            font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
            font.lfQuality = DEFAULT_QUALITY;
            font.lfPitchAndFamily = DEFAULT_PITCH;
            for (size_t k = 0; k < name_.size() && k + 1 < LF_FACESIZE; ++k) font.lfFaceName[k] = name_[k];
            handle_ = CreateFontIndirectW(&font);
        }
        *phFont = handle_;
        return handle_ ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP Clone(IFont** ppFont) override {
        if (!ppFont) return E_POINTER;
        FONTDESC description = Description();
        auto* clone = new (std::nothrow) CStdFont(description);
        *ppFont = clone;
        if (!clone) return E_OUTOFMEMORY;
        clone->cyLogical_ = cyLogical_;
        clone->cyHimetric_ = cyHimetric_;
        return S_OK;
    }
    STDMETHODIMP IsEqual(IFont* pFontOther) override {
        if (!pFontOther) return E_POINTER;
        auto* other = dynamic_cast<CStdFont*>(pFontOther);
        if (!other) return S_FALSE;
        const bool same = size_.int64 == other->size_.int64 && weight_ == other->weight_ &&
                          charset_ == other->charset_ && italic_ == other->italic_ &&
                          underline_ == other->underline_ && strike_ == other->strike_ && name_ == other->name_;
        return same ? S_OK : S_FALSE;
    }
    STDMETHODIMP SetRatio(LONG cyLogical, LONG cyHimetric) override {
        if (cyLogical == 0 || cyHimetric == 0) return E_FAIL;
        if (cyLogical == 1 && cyHimetric == 1) return S_OK;
        cyLogical_ = cyLogical;
        cyHimetric_ = cyHimetric;
        DropHandle();
        return S_OK;
    }
    STDMETHODIMP QueryTextMetrics(TEXTMETRICOLE* pTM) override {
        if (!pTM) return E_POINTER;
        HFONT font = nullptr;
        HRESULT hr = get_hFont(&font);
        if (FAILED(hr)) return hr;
        HDC dc = GetDC(nullptr);
        if (!dc) return E_FAIL;
        HGDIOBJ previous = SelectObject(dc, font);
        const BOOL ok = GetTextMetricsW(dc, pTM);
        SelectObject(dc, previous);
        ReleaseDC(nullptr, dc);
        return ok ? S_OK : E_FAIL;
    }
    STDMETHODIMP AddRefHfont(HFONT hFont) override { return hFont ? S_OK : E_INVALIDARG; }
    STDMETHODIMP ReleaseHfont(HFONT hFont) override { return hFont ? S_OK : E_INVALIDARG; }
    STDMETHODIMP SetHdc(HDC) override { return E_NOTIMPL; }

    // ---- IDispatch (IFontDisp): the font properties by their dispatch identifiers ----
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // ---- IPersist, IPersistStream ----
    STDMETHODIMP GetClassID(CLSID* pClassID) override {
        if (!pClassID) return E_POINTER;
        *pClassID = CLSID_StdFont;
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return S_OK; }
    STDMETHODIMP Load(IStream* pStm) override;
    STDMETHODIMP Save(IStream* pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pcbSize) override {
        if (!pcbSize) return E_POINTER;
        pcbSize->QuadPart = 11 + AnsiName().size();
        return S_OK;
    }

private:
    template <class Flag>
    static HRESULT Give(BOOL* out, Flag value) {
        if (!out) return E_POINTER;
        *out = value ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT Set(bool& flag, BOOL value) {
        flag = value != FALSE;
        Changed();
        return S_OK;
    }

    void DropHandle() {
        if (handle_) DeleteObject(handle_);
        handle_ = nullptr;
    }
    void Changed() { DropHandle(); }

    // The logical height of the handle: -(size at the ratio), the fraction
    // dropped unless it is above one half.
    LONG RealisedHeight() const {
        // In 64 bits: a size of any value (a loaded stream's) may give INT_MIN,
        // whose negation does not fit an int.
        const long long height = MulDiv(static_cast<int>(size_.Lo), cyLogical_ * 635, cyHimetric_ * 18);
        return static_cast<LONG>((height % 10000 > 5000) ? -height / 10000 - 1 : -height / 10000);
    }

    FONTDESC Description() {
        FONTDESC description{};
        description.cbSizeofstruct = sizeof description;
        description.lpstrName = name_.data();
        description.cySize = size_;
        description.sWeight = weight_;
        description.sCharset = charset_;
        description.fItalic = italic_;
        description.fUnderline = underline_;
        description.fStrikethrough = strike_;
        return description;
    }

    std::string AnsiName() const {
        if (name_.empty()) return std::string();
        const int length = WideCharToMultiByte(CP_ACP, 0, name_.data(), static_cast<int>(name_.size()), nullptr, 0,
                                               nullptr, nullptr);
        std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
        if (length > 0) {
            WideCharToMultiByte(CP_ACP, 0, name_.data(), static_cast<int>(name_.size()), text.data(), length, nullptr,
                                nullptr);
        }
        return text;
    }

    HRESULT GetProperty(DISPID id, VARIANT* result);
    HRESULT PutProperty(DISPID id, VARIANT* value, LCID lcid);

    std::atomic<LONG> refs_{1};
    std::u16string name_;
    CY size_;
    SHORT weight_;
    SHORT charset_;
    bool italic_;
    bool underline_;
    bool strike_;
    LONG cyLogical_ = ScreenPixelsPerInch();
    LONG cyHimetric_ = 2540;
    HFONT handle_ = nullptr;
};

struct PropertyName {
    const char16_t* name;
    DISPID id;
};

const PropertyName kProperties[] = {
    {u"Name", DISPID_FONT_NAME},       {u"Size", DISPID_FONT_SIZE},
    {u"Bold", DISPID_FONT_BOLD},       {u"Italic", DISPID_FONT_ITALIC},
    {u"Underline", DISPID_FONT_UNDER}, {u"Strikethrough", DISPID_FONT_STRIKE},
    {u"Weight", DISPID_FONT_WEIGHT},   {u"Charset", DISPID_FONT_CHARSET},
};

bool SameNameIgnoringCase(const char16_t* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
        const char16_t x = (*a >= u'a' && *a <= u'z') ? static_cast<char16_t>(*a - 32) : *a;
        const char16_t y = (*b >= u'a' && *b <= u'z') ? static_cast<char16_t>(*b - 32) : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

STDMETHODIMP CStdFont::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId || cNames == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT k = 0; k < cNames; ++k) {
        rgDispId[k] = -1;  // DISPID_UNKNOWN
        if (k > 0) {
            hr = DISP_E_UNKNOWNNAME;  // the font's properties take no named arguments
            continue;
        }
        bool found = false;
        for (const PropertyName& property : kProperties) {
            if (rgszNames[k] && SameNameIgnoringCase(rgszNames[k], property.name)) {
                rgDispId[k] = property.id;
                found = true;
            }
        }
        if (!found) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT CStdFont::GetProperty(DISPID id, VARIANT* result) {
    VariantInit(result);
    BOOL flag = FALSE;
    switch (id) {
        case DISPID_FONT_NAME:
            V_VT(result) = VT_BSTR;
            return get_Name(&V_BSTR(result));
        case DISPID_FONT_SIZE:
            V_VT(result) = VT_CY;
            return get_Size(&V_CY(result));
        case DISPID_FONT_BOLD: get_Bold(&flag); break;
        case DISPID_FONT_ITALIC: flag = italic_; break;
        case DISPID_FONT_UNDER: flag = underline_; break;
        case DISPID_FONT_STRIKE: flag = strike_; break;
        case DISPID_FONT_WEIGHT:
            V_VT(result) = VT_I2;
            V_I2(result) = weight_;
            return S_OK;
        case DISPID_FONT_CHARSET:
            V_VT(result) = VT_I2;
            V_I2(result) = charset_;
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
    }
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CStdFont::PutProperty(DISPID id, VARIANT* value, LCID lcid) {
    VARTYPE wanted = VT_EMPTY;
    switch (id) {
        case DISPID_FONT_NAME: wanted = VT_BSTR; break;
        case DISPID_FONT_SIZE: wanted = VT_CY; break;
        case DISPID_FONT_BOLD:
        case DISPID_FONT_ITALIC:
        case DISPID_FONT_UNDER:
        case DISPID_FONT_STRIKE: wanted = VT_BOOL; break;
        case DISPID_FONT_WEIGHT:
        case DISPID_FONT_CHARSET: wanted = VT_I2; break;
        default: return DISP_E_MEMBERNOTFOUND;
    }
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeTypeEx(&converted, value, lcid, 0, wanted);
    if (FAILED(hr)) return hr;
    switch (id) {
        case DISPID_FONT_NAME: hr = put_Name(V_BSTR(&converted)); break;
        case DISPID_FONT_SIZE: hr = put_Size(V_CY(&converted)); break;
        case DISPID_FONT_BOLD: hr = put_Bold(V_BOOL(&converted) != 0); break;
        case DISPID_FONT_ITALIC: hr = put_Italic(V_BOOL(&converted) != 0); break;
        case DISPID_FONT_UNDER: hr = put_Underline(V_BOOL(&converted) != 0); break;
        case DISPID_FONT_STRIKE: hr = put_Strikethrough(V_BOOL(&converted) != 0); break;
        case DISPID_FONT_WEIGHT: hr = put_Weight(V_I2(&converted)); break;
        case DISPID_FONT_CHARSET: hr = put_Charset(V_I2(&converted)); break;
        default: break;
    }
    VariantClear(&converted);
    return hr;
}

STDMETHODIMP CStdFont::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, EXCEPINFO*, UINT*) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (wFlags & DISPATCH_PROPERTYGET) {
        if (!pVarResult) return DISP_E_PARAMNOTOPTIONAL;
        return GetProperty(dispIdMember, pVarResult);
    }
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!pDispParams) return DISP_E_PARAMNOTOPTIONAL;
        if (pDispParams->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        return PutProperty(dispIdMember, &pDispParams->rgvarg[0], lcid);
    }
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP CStdFont::Save(IStream* pStm, BOOL) {
    if (!pStm) return E_POINTER;
    const std::string name = AnsiName();
    if (name.size() > 255) return E_FAIL;
    const BYTE flags = static_cast<BYTE>((italic_ ? kPersistItalic : 0) | (underline_ ? kPersistUnderline : 0) |
                                         (strike_ ? kPersistStrike : 0));
    const WORD charset = static_cast<WORD>(charset_);
    const WORD weight = static_cast<WORD>(weight_);
    const DWORD size = size_.Lo;
    BYTE header[11] = {0x01,
                       static_cast<BYTE>(charset),
                       static_cast<BYTE>(charset >> 8),
                       flags,
                       static_cast<BYTE>(weight),
                       static_cast<BYTE>(weight >> 8),
                       static_cast<BYTE>(size),
                       static_cast<BYTE>(size >> 8),
                       static_cast<BYTE>(size >> 16),
                       static_cast<BYTE>(size >> 24),
                       static_cast<BYTE>(name.size())};
    HRESULT hr = WriteAll(pStm, header, sizeof header);
    if (SUCCEEDED(hr) && !name.empty()) hr = WriteAll(pStm, name.data(), static_cast<ULONG>(name.size()));
    return hr;
}

// A version byte other than 0x01 or a stream that ends early fails with E_FAIL
// and leaves the font unchanged.
STDMETHODIMP CStdFont::Load(IStream* pStm) {
    if (!pStm) return E_POINTER;
    BYTE header[11];
    if (FAILED(ReadAll(pStm, header, sizeof header)) || header[0] != 0x01) return E_FAIL;
    char name[256];
    const ULONG length = header[10];
    if (length && FAILED(ReadAll(pStm, name, length))) return E_FAIL;
    std::u16string wide;
    if (length) {
        const int count = MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0);
        wide.resize(static_cast<size_t>(count > 0 ? count : 0));
        if (count > 0) MultiByteToWideChar(CP_ACP, 0, name, static_cast<int>(length), wide.data(), count);
    }
    charset_ = static_cast<SHORT>(header[1] | (header[2] << 8));
    italic_ = (header[3] & kPersistItalic) != 0;
    underline_ = (header[3] & kPersistUnderline) != 0;
    strike_ = (header[3] & kPersistStrike) != 0;
    weight_ = static_cast<SHORT>(header[4] | (header[5] << 8));
    size_.int64 = 0;
    size_.Lo = static_cast<ULONG>(header[6]) | (static_cast<ULONG>(header[7]) << 8) |
               (static_cast<ULONG>(header[8]) << 16) | (static_cast<ULONG>(header[9]) << 24);
    name_ = wide;
    Changed();
    return S_OK;
}

}  // namespace

// OleCreateFontIndirect: a new standard font object.
//   lpFontDesc [in] its description; NULL gives "System", 8 points, weight 0,
//                   character set 0, no italic, underline or strike-out.
//   riid       [in] the interface wanted (IFont, IFontDisp, IDispatch,
//                   IPersistStream, IPersist, IUnknown).
//   lplpvObj   [out] the object.
// Returns S_OK, E_POINTER, E_NOINTERFACE or E_OUTOFMEMORY.
WINOLEAUTAPI OleCreateFontIndirect(LPFONTDESC lpFontDesc, REFIID riid, LPVOID* lplpvObj) {
    if (!lplpvObj) return E_POINTER;
    *lplpvObj = nullptr;
    FONTDESC fallback{};
    char16_t systemName[] = u"System";
    if (!lpFontDesc) {
        fallback.cbSizeofstruct = sizeof fallback;
        fallback.lpstrName = systemName;
        fallback.cySize.Lo = 80000;
        lpFontDesc = &fallback;
    }
    auto* font = new (std::nothrow) CStdFont(*lpFontDesc);
    if (!font) return E_OUTOFMEMORY;
    const HRESULT hr = static_cast<IFont*>(font)->QueryInterface(riid, lplpvObj);
    static_cast<IFont*>(font)->Release();
    return hr;
}
