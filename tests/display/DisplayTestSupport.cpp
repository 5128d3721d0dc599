#include "DisplayTestSupport.h"

namespace qelv::test {

VARIANT DispatchGet(IDispatch* object, DISPID id, HRESULT* hr) {
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const HRESULT status = object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    if (hr) *hr = status;
    return result;
}

HRESULT DispatchPut(IDispatch* object, DISPID id, VARIANT value, EXCEPINFO* info) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    const WORD flags = V_VT(&value) == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    return object->Invoke(id, IID_NULL, 0, flags, &params, nullptr, info, nullptr);
}

VARIANT MakeR4(float value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R4;
    V_R4(&v) = value;
    return v;
}

SAFEARRAY* MakeFloatArray(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    for (size_t k = 0; k < values.size(); ++k) static_cast<float*>(data)[k] = values[k];
    SafeArrayUnaccessData(array);
    return array;
}

std::vector<float> FloatsOf(SAFEARRAY* array) {
    std::vector<float> values;
    if (!array) return values;
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    values.assign(static_cast<float*>(data), static_cast<float*>(data) + (upper + 1));
    SafeArrayUnaccessData(array);
    return values;
}

std::u16string TakeDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return u"";
    BSTR text = nullptr;
    info->GetDescription(&text);
    std::u16string result = text ? std::u16string(text) : u"";
    SysFreeString(text);
    info->Release();
    return result;
}

std::vector<float> PointArrayOf(CSonalterDisplay2* control) {
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(control->GetPointArray(&array), S_OK);
    std::vector<float> values = FloatsOf(array);
    SafeArrayDestroy(array);
    return values;
}

std::vector<float> LineArrayOf(CSonalterDisplay2* control) {
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(control->GetLineArray(&array), S_OK);
    std::vector<float> values = FloatsOf(array);
    SafeArrayDestroy(array);
    return values;
}

}  // namespace qelv::test
