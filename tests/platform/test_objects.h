// Test doubles shared by the platform tests: an object that counts its
// references and, when asked to, answers IDispatch with a value property.
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>

namespace platform_test {

class CountedObject : public IDispatch {
public:
    // dispatch: whether QueryInterface answers IDispatch; value: what the
    // value property (DISPID_VALUE) returns.
    explicit CountedObject(bool dispatch = false, LONG value = 0) : dispatch_(dispatch), value_(value) {}

    ULONG refs() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || (dispatch_ && riid == IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    // Lives on the stack: the count is observed, never acted on.
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }

    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0 || result == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        result->vt = VT_I4;
        result->lVal = value_;
        return S_OK;
    }

private:
    ULONG refs_ = 1;
    bool dispatch_;
    LONG value_;
};

// A variant tagged vt whose pointer slot holds p: a reference, an array, a
// string or an object. Ownership of what p points to is the caller's affair.
inline VARIANT Var(VARTYPE vt, void* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = p;
    return v;
}

// Variants holding one number, or a new string that VariantClear frees.
inline VARIANT I4(LONG n) {
    VARIANT v = Var(VT_I4, nullptr);
    v.lVal = n;
    return v;
}
inline VARIANT R8(double d) {
    VARIANT v = Var(VT_R8, nullptr);
    v.dblVal = d;
    return v;
}
inline VARIANT R4(float f) {
    VARIANT v = Var(VT_R4, nullptr);
    v.fltVal = f;
    return v;
}
inline VARIANT Str(const char16_t* text) { return Var(VT_BSTR, SysAllocString(text)); }

// The text of a BSTR, embedded NULs included.
inline std::u16string Text(BSTR b) { return std::u16string(b == nullptr ? u"" : b, SysStringLen(b)); }

}  // namespace platform_test
