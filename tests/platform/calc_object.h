// The object behind the Calc test library: implements ICalc2 (and so ICalc) with dispatch
// served from the type library through DispInvoke / DispGetIDsOfNames, as the component does.
#pragma once

#include "Calc.h"

#include <atomic>
#include <string>

class CalcObject final : public ICalc2 {
public:
    // Creates an object with reference count 1 whose dispatch uses typeInfo (any view of ICalc2).
    explicit CalcObject(ITypeInfo* typeInfo);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispGetIDsOfNames(typeInfo_, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                        UINT* argErr) override {
        return DispInvoke(static_cast<ICalc2*>(this), typeInfo_, id, flags, params, result, excep, argErr);
    }
    // ICalc
    STDMETHODIMP Add(FLOAT a, FLOAT b, FLOAT* sum) override { *sum = a + b; return S_OK; }
    STDMETHODIMP Order(LONG first, DOUBLE second, SHORT third, FLOAT fourth, BSTR fifth, VARIANT_BOOL sixth,
                       BSTR* text) override;
    STDMETHODIMP Scale(SAFEARRAY** data, FLOAT factor) override;
    STDMETHODIMP Sum(SAFEARRAY** data, LONG* total) override;
    STDMETHODIMP MakeRamp(LONG count, SAFEARRAY** ramp) override;
    STDMETHODIMP Divide(LONG a, LONG b, LONG* quotient) override;
    STDMETHODIMP Round(DOUBLE value, RoundingMode mode, LONG* result) override;
    STDMETHODIMP Many(FLOAT f1, FLOAT f2, FLOAT f3, FLOAT f4, FLOAT f5, FLOAT f6, FLOAT f7, FLOAT f8, LONG i1,
                      LONG i2, LONG i3, DOUBLE* total) override;
    STDMETHODIMP TooMany(FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT, FLOAT) override { return S_OK; }
    STDMETHODIMP Spectrum(SAFEARRAY** values, SAFEARRAY** doubled) override;
    STDMETHODIMP Count(INT items, INT* twice) override { *twice = 2 * items; return S_OK; }
    STDMETHODIMP get_Precision(LONG* value) override { *value = precision_; return S_OK; }
    STDMETHODIMP put_Precision(LONG value) override { precision_ = value; return S_OK; }
    STDMETHODIMP get_Mode(RoundingMode* mode) override { *mode = mode_; return S_OK; }
    STDMETHODIMP put_Mode(RoundingMode mode) override { mode_ = mode; return S_OK; }
    STDMETHODIMP get_Enabled(VARIANT_BOOL* on) override { *on = enabled_; return S_OK; }
    STDMETHODIMP put_Enabled(VARIANT_BOOL on) override { enabled_ = on; return S_OK; }
    STDMETHODIMP get_Font(IFontDisp** font) override;
    STDMETHODIMP putref_Font(IFontDisp* font) override;
    STDMETHODIMP get_Tint(OLE_COLOR* color) override { *color = 0x00FF8000u; return S_OK; }
    STDMETHODIMP get_Item(LONG index, LONG* value) override { *value = index * index; return S_OK; }
    // ICalc2
    STDMETHODIMP Negate(LONG value, LONG* result) override { *result = -value; return S_OK; }

    // HRESULT Divide returns for a zero divisor.
    static constexpr HRESULT kDivideByZero = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200);

private:
    ~CalcObject();

    std::atomic<ULONG> refs_{1};
    ITypeInfo* typeInfo_;
    LONG precision_ = 2;
    RoundingMode mode_ = rmNearest;
    VARIANT_BOOL enabled_ = VARIANT_FALSE;
    IFontDisp* font_ = nullptr;
};

// The test program's path and ICalc2's dispatch view loaded from its TYPELIB resource.
std::u16string TestProgramPath();
ITypeInfo* LoadCalcTypeInfo(REFGUID guid);
