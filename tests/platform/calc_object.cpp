#include "platform/calc_object.h"

#include <cmath>
#include <cstdio>

CalcObject::CalcObject(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {
    typeInfo_->AddRef();
}

CalcObject::~CalcObject() {
    typeInfo_->Release();
    if (font_) font_->Release();
}

STDMETHODIMP CalcObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICalc || riid == IID_ICalc2) {
        *ppv = static_cast<ICalc2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CalcObject::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP CalcObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CalcObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

STDMETHODIMP CalcObject::Order(LONG first, DOUBLE second, SHORT third, FLOAT fourth, BSTR fifth,
                               VARIANT_BOOL sixth, BSTR* text) {
    char buffer[160];
    std::snprintf(buffer, sizeof(buffer), "%d|%g|%d|%g|%u|%d", static_cast<int>(first), second, third,
                  static_cast<double>(fourth), SysStringLen(fifth), sixth);
    std::u16string wide;
    for (const char* p = buffer; *p; ++p) wide += static_cast<char16_t>(*p);
    wide += u'|';
    if (fifth) wide += fifth;
    *text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return S_OK;
}

STDMETHODIMP CalcObject::Scale(SAFEARRAY** data, FLOAT factor) {
    if (data == nullptr || *data == nullptr) return E_INVALIDARG;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(*data, 1, &lo);
    SafeArrayGetUBound(*data, 1, &hi);
    const LONG n = hi - lo + 1;
    if (factor < 0) {
        // Replaced by an array twice as long: the caller must see the new one.
        SAFEARRAY* bigger = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(2 * n));
        SHORT *from = nullptr, *to = nullptr;
        SafeArrayAccessData(*data, reinterpret_cast<void**>(&from));
        SafeArrayAccessData(bigger, reinterpret_cast<void**>(&to));
        for (LONG i = 0; i < n; ++i) to[2 * i] = to[2 * i + 1] = from[i];
        SafeArrayUnaccessData(bigger);
        SafeArrayUnaccessData(*data);
        SafeArrayDestroy(*data);
        *data = bigger;
        return S_OK;
    }
    SHORT* samples = nullptr;
    SafeArrayAccessData(*data, reinterpret_cast<void**>(&samples));
    for (LONG i = 0; i < n; ++i) samples[i] = static_cast<SHORT>(samples[i] * factor);
    SafeArrayUnaccessData(*data);
    return S_OK;
}

STDMETHODIMP CalcObject::Sum(SAFEARRAY** data, LONG* total) {
    if (data == nullptr || *data == nullptr) return E_INVALIDARG;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(*data, 1, &lo);
    SafeArrayGetUBound(*data, 1, &hi);
    LONG sum = 0;
    for (LONG i = lo; i <= hi; ++i) {
        SHORT v = 0;
        SafeArrayGetElement(*data, &i, &v);
        sum += v;
    }
    *total = sum;
    return S_OK;
}

STDMETHODIMP CalcObject::MakeRamp(LONG count, SAFEARRAY** ramp) {
    if (count < 0) return E_INVALIDARG;
    *ramp = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(count));
    for (LONG i = 0; i < count; ++i) {
        SHORT v = static_cast<SHORT>(i);
        SafeArrayPutElement(*ramp, &i, &v);
    }
    return S_OK;
}

STDMETHODIMP CalcObject::Divide(LONG a, LONG b, LONG* quotient) {
    if (b == 0) {
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            create->SetSource(const_cast<LPOLESTR>(u"Calc.Divide"));
            create->SetDescription(const_cast<LPOLESTR>(u"Division by zero"));
            create->SetHelpContext(17);
            IErrorInfo* info = nullptr;
            create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
            SetErrorInfo(0, info);
            info->Release();
            create->Release();
        }
        return kDivideByZero;
    }
    *quotient = a / b;
    return S_OK;
}

STDMETHODIMP CalcObject::Round(DOUBLE value, RoundingMode mode, LONG* result) {
    switch (mode) {
        case rmDown: *result = static_cast<LONG>(std::floor(value)); break;
        case rmTowardZero: *result = static_cast<LONG>(std::trunc(value)); break;
        case rmNearest: *result = static_cast<LONG>(std::lround(value)); break;
        default: return E_INVALIDARG;
    }
    return S_OK;
}

STDMETHODIMP CalcObject::Many(FLOAT f1, FLOAT f2, FLOAT f3, FLOAT f4, FLOAT f5, FLOAT f6, FLOAT f7, FLOAT f8,
                              LONG i1, LONG i2, LONG i3, DOUBLE* total) {
    // Distinct weights: any argument arriving in the wrong place changes the total.
    *total = f1 * 1.0 + f2 * 2.0 + f3 * 3.0 + f4 * 4.0 + f5 * 5.0 + f6 * 6.0 + f7 * 7.0 + f8 * 8.0 +
             i1 * 1e3 + i2 * 1e5 + i3 * 1e7;
    return S_OK;
}

STDMETHODIMP CalcObject::Spectrum(SAFEARRAY** values, SAFEARRAY** doubled) {
    if (values == nullptr || *values == nullptr) return E_INVALIDARG;
    SafeArrayCopy(*values, doubled);
    FLOAT* data = nullptr;
    SafeArrayAccessData(*doubled, reinterpret_cast<void**>(&data));
    for (ULONG i = 0; i < (*doubled)->rgsabound[0].cElements; ++i) data[i] *= 2;
    SafeArrayUnaccessData(*doubled);
    return S_OK;
}

STDMETHODIMP CalcObject::get_Font(IFontDisp** font) {
    *font = font_;
    if (font_) font_->AddRef();
    return S_OK;
}
STDMETHODIMP CalcObject::putref_Font(IFontDisp* font) {
    if (font) font->AddRef();
    if (font_) font_->Release();
    font_ = font;
    return S_OK;
}
std::u16string TestProgramPath() {
    char16_t buffer[4096];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, 4096);
    return std::u16string(buffer, n);
}

ITypeInfo* LoadCalcTypeInfo(REFGUID guid) {
    ITypeLib* lib = nullptr;
    if (FAILED(LoadTypeLibEx(TestProgramPath().c_str(), REGKIND_NONE, &lib))) return nullptr;
    ITypeInfo* info = nullptr;
    lib->GetTypeInfoOfGuid(guid, &info);
    lib->Release();
    return info;
}
