#include "EventSink.h"

#include <new>

namespace controlsite {

const VARIANT* EventArguments::At(UINT index) const {
    if (!params_ || !params_->rgvarg || index >= params_->cArgs) return nullptr;
    return &params_->rgvarg[params_->cArgs - 1 - index];
}

std::optional<LONG> EventArguments::AsLong(UINT index) const {
    const VARIANT* argument = At(index);
    if (!argument) return std::nullopt;
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(argument), 0, VT_I4))) return std::nullopt;
    return converted.lVal;
}

EventSink* EventSink::Create(REFIID events, EventCallback callback) {
    return new (std::nothrow) EventSink(events, std::move(callback));
}

HRESULT EventSink::Connect(IUnknown* object) {
    Disconnect();
    if (!object) return E_POINTER;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = object->QueryInterface(IID_IConnectionPointContainer, container.putVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(events_, point.put());
    if (FAILED(hr)) return hr;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(hr)) return hr;
    point_ = std::move(point);
    cookie_ = cookie;
    return S_OK;
}

// The connection point holds a reference to this sink until Unadvise; the
// object that owns the sink calls this before letting it go.
void EventSink::Disconnect() {
    if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
    cookie_ = 0;
    point_.reset();
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, events_)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventSink::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) EventSink::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) {
    for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP EventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                               EXCEPINFO*, UINT*) {
    if (pVarResult) VariantInit(pVarResult);
    // The callback may disconnect this sink; the reference keeps it alive meanwhile.
    AddRef();
    if (callback_) callback_(dispIdMember, EventArguments(pDispParams));
    Release();
    return S_OK;
}

}  // namespace controlsite
