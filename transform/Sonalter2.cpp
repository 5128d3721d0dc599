// CSonalter2: identity, properties, dispatch, events and the object's other
// standard interfaces. The transforms are in their own files.
#include "transform/Sonalter2.h"

#include <new>

#include "server/ClassSupport.h"
#include "server/TypeInfo.h"

namespace qelv {

CSonalter2* CSonalter2::Create() { return new (std::nothrow) CSonalter2(); }

CSonalter2::CSonalter2() : events_(static_cast<IConnectionPointContainer*>(this), DIID__ISonalter2Events) {}

CSonalter2::~CSonalter2() {
    HANDLE heap = GetProcessHeap();
    if (LeftEdgeBuffer) HeapFree(heap, 0, LeftEdgeBuffer);
    if (RightEdgeBuffer) HeapFree(heap, 0, RightEdgeBuffer);
}

// ---- IUnknown ---------------------------------------------------------------

STDMETHODIMP CSonalter2::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ISonalter2)) {
        *ppv = static_cast<ISonalter2*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
    } else if (IsEqualIID(riid, IID_IObjectSafety)) {
        *ppv = static_cast<IObjectSafety*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CSonalter2::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CSonalter2::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// ---- IDispatch ----------------------------------------------------------------

HRESULT CSonalter2::DispatchTypeInfo(ITypeInfo** info, ITypeInfo** vtableView) {
    return GetComponentTypeInfo(IID_ISonalter2, info, vtableView);
}

STDMETHODIMP CSonalter2::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CSonalter2::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return DispatchTypeInfo(ppTInfo, nullptr);
}

STDMETHODIMP CSonalter2::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = DispatchTypeInfo(&info, nullptr);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
    info->Release();
    return hr;
}

STDMETHODIMP CSonalter2::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                                VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    ITypeInfo* vtable = nullptr;
    HRESULT hr = DispatchTypeInfo(&info, &vtable);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(static_cast<ISonalter2*>(this), vtable, dispIdMember, wFlags, pDispParams, pVarResult,
                    pExcepInfo, puArgErr);
    vtable->Release();
    info->Release();
    return hr;
}

// ---- Properties: puts accept every value ------------------------------------

namespace {

// A property get: the value converted to the declared type, E_POINTER for no target.
template <class Out, class Value>
HRESULT GiveValue(Out* out, Value value) {
    if (!out) return E_POINTER;
    *out = static_cast<Out>(value);
    return S_OK;
}

}  // namespace

void CSonalter2::RecomputeSmoothSamples() { SmoothSamples = MulDiv(ArrayFrequency, SmoothTime, 1000); }

STDMETHODIMP CSonalter2::get_SmoothLeftEnabled(VARIANT_BOOL* pVal) { return GiveValue(pVal, SmoothLeftEnabled); }

STDMETHODIMP CSonalter2::put_SmoothLeftEnabled(VARIANT_BOOL newVal) {
    SmoothLeftEnabled = newVal;
    return S_OK;
}

STDMETHODIMP CSonalter2::get_SmoothRightEnabled(VARIANT_BOOL* pVal) { return GiveValue(pVal, SmoothRightEnabled); }

STDMETHODIMP CSonalter2::put_SmoothRightEnabled(VARIANT_BOOL newVal) {
    SmoothRightEnabled = newVal;
    return S_OK;
}

STDMETHODIMP CSonalter2::get_SmoothTime(LONG* pVal) { return GiveValue(pVal, SmoothTime); }

STDMETHODIMP CSonalter2::put_SmoothTime(LONG newVal) {
    SmoothTime = newVal;
    RecomputeSmoothSamples();
    return S_OK;
}

STDMETHODIMP CSonalter2::get_ArrayFrequency(FrequencyConstants* pVal) { return GiveValue(pVal, ArrayFrequency); }

STDMETHODIMP CSonalter2::put_ArrayFrequency(FrequencyConstants newVal) {
    ArrayFrequency = static_cast<LONG>(newVal);
    RecomputeSmoothSamples();
    return S_OK;
}

STDMETHODIMP CSonalter2::get_ArrayChannels(ChannelsConstants* pVal) { return GiveValue(pVal, ArrayChannels); }

STDMETHODIMP CSonalter2::put_ArrayChannels(ChannelsConstants newVal) {
    ArrayChannels = static_cast<LONG>(newVal);
    return S_OK;
}

STDMETHODIMP CSonalter2::get_TBEventEnabled(VARIANT_BOOL* pVal) { return GiveValue(pVal, TBEventEnabled); }

STDMETHODIMP CSonalter2::put_TBEventEnabled(VARIANT_BOOL newVal) {
    TBEventEnabled = newVal;
    return S_OK;
}

STDMETHODIMP CSonalter2::get_LastErrorNum(ErrorConstants* pVal) { return GiveValue(pVal, LastErrorNum); }

// ---- Events and cancellation ----------------------------------------------------

void CSonalter2::Fire_TransformBlock(LONG percent) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = percent;
    events_.Fire(1, &arg, 1);
}

void CSonalter2::Fire_EndTransform() { events_.Fire(2, nullptr, 0); }

STDMETHODIMP CSonalter2::CancelTransform() {
    CancelRequested = 1;
    return S_OK;
}

// ---- IConnectionPointContainer ----------------------------------------------------

STDMETHODIMP CSonalter2::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    IConnectionPoint* point = &events_;
    return CreateConnectionPointEnumerator(&point, 1, static_cast<ISonalter2*>(this), ppEnum);
}

STDMETHODIMP CSonalter2::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return FindOnlyConnectionPoint(&events_, DIID__ISonalter2Events, riid, ppCP);
}

// ---- ISupportErrorInfo -----------------------------------------------------------

STDMETHODIMP CSonalter2::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ISonalter2) ? S_OK : S_FALSE;
}

// ---- IProvideClassInfo2 ------------------------------------------------------------

STDMETHODIMP CSonalter2::GetClassInfo(ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    return GetComponentTypeInfo(CLSID_Sonalter2, ppTI);
}

STDMETHODIMP CSonalter2::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    return DefaultSourceGuid(DIID__ISonalter2Events, dwGuidKind, pGUID);
}

// ---- IObjectSafety -----------------------------------------------------------------

// Both options are supported for every interface the object has; the enabled
// options are the ones last set.
STDMETHODIMP CSonalter2::GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                                   DWORD* pdwEnabledOptions) {
    return GetSafetyOptions(static_cast<ISonalter2*>(this), safetyOptions_, riid, pdwSupportedOptions,
                            pdwEnabledOptions);
}

STDMETHODIMP CSonalter2::SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) {
    return SetSafetyOptions(static_cast<ISonalter2*>(this), &safetyOptions_, riid, dwOptionSetMask,
                            dwEnabledOptions);
}

}  // namespace qelv
