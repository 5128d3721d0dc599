#include "EventSink.h"

#include "Interrupt.h"
#include "Progress.h"

#include <qelvsonalter2/QelvSonalter2.h>

#include <new>

namespace sonalter {

namespace {
// DISPIDs of the event interface, as its description declares them.
constexpr DISPID kTransformBlock = 1;
constexpr DISPID kEndTransform = 2;
}  // namespace

ComPtr<EventSink> EventSink::Create(Progress& progress, std::function<bool()> cancel) {
    return ComPtr<EventSink>(new EventSink(progress, std::move(cancel)));
}

EventSink::EventSink(Progress& progress, std::function<bool()> cancel)
    : progress_(progress), cancel_(std::move(cancel)) {}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__ISonalter2Events)) {
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
    if (dispIdMember == kTransformBlock) {
        if (pDispParams && pDispParams->cArgs >= 1 && pDispParams->rgvarg) {
            VARIANT percent;
            VariantInit(&percent);
            if (SUCCEEDED(VariantChangeType(&percent, &pDispParams->rgvarg[pDispParams->cArgs - 1], 0, VT_I4))) {
                progress_.Update(percent.lVal);
            }
        }
        // The transform runs on this thread, so this handler is the only place a
        // Ctrl-C can reach a running method.
        if (InterruptRequested() && !cancelSent_ && cancel_) cancelSent_ = cancel_();
        return S_OK;
    }
    if (dispIdMember == kEndTransform) {
        progress_.Complete();
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

EventConnection::EventConnection(IDispatch* object, IDispatch* sink) {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(object->QueryInterface(IID_IConnectionPointContainer, container.putVoid())) || !container) return;
    if (FAILED(container->FindConnectionPoint(DIID__ISonalter2Events, point_.put())) || !point_) return;
    DWORD cookie = 0;
    if (SUCCEEDED(point_->Advise(sink, &cookie))) cookie_ = cookie;
}

EventConnection::~EventConnection() {
    if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
}

}  // namespace sonalter
