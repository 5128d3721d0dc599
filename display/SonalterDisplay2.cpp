// CSonalterDisplay2: identity, dispatch, properties, events and the control's
// other standard interfaces. Points and curves, the mappings, the scale font and
// persistence are in their own files.
#include "display/SonalterDisplay2.h"

#include <new>

#include "display/PointCursor.h"
#include "server/ClassSupport.h"
#include "server/TypeInfo.h"

namespace qelv {

CSonalterDisplay2* CSonalterDisplay2::Create() {
    CSonalterDisplay2* control = new (std::nothrow) CSonalterDisplay2();
    if (control && (!control->ScaleXCaption || !control->ScaleYCaption || control->points_.Count() != 2)) {
        control->Release();
        return nullptr;
    }
    return control;
}

CSonalterDisplay2::CSonalterDisplay2()
    : events_(static_cast<IConnectionPointContainer*>(this), DIID__ISonalterDisplay2Events) {
    ScaleXCaption = SysAllocString(OLESTR("Hz"));
    ScaleYCaption = SysAllocString(OLESTR("dB"));
    PointCursor = CreatePointCursor();
}

CSonalterDisplay2::~CSonalterDisplay2() {
    SysFreeString(ScaleXCaption);
    SysFreeString(ScaleYCaption);
    ReleaseScaleFont();
    if (viewSink_) viewSink_->Release();
    // A container that lets go of an active control without closing it still
    // gets its window destroyed; the site is not called back from here.
    DestroyControlWindow();
    if (inPlaceFrame_) inPlaceFrame_->Release();
    if (inPlaceDoc_) inPlaceDoc_->Release();
    if (inPlaceSite_) inPlaceSite_->Release();
    if (clientSite_) clientSite_->Release();
    if (PointCursor) DestroyCursor(PointCursor);
}

// ---- IUnknown -------------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ISonalterDisplay2)) {
        *ppv = static_cast<ISonalterDisplay2*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
    } else if (IsEqualIID(riid, IID_IObjectSafety)) {
        *ppv = static_cast<IObjectSafety*>(this);
    } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit)) {
        *ppv = static_cast<IPersistStreamInit*>(this);
    } else if (IsEqualIID(riid, IID_IPersistStorage)) {
        *ppv = static_cast<IPersistStorage*>(this);
    } else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2)) {
        *ppv = static_cast<IViewObject2*>(this);
    } else if (IsEqualIID(riid, IID_IOleObject)) {
        *ppv = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject)) {
        *ppv = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) {
        *ppv = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (IsEqualIID(riid, IID_IOleControl)) {
        *ppv = static_cast<IOleControl*>(this);
    } else if (IsEqualIID(riid, IID_IDataObject)) {
        *ppv = static_cast<IDataObject*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CSonalterDisplay2::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) CSonalterDisplay2::Release() {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// ---- IDispatch --------------------------------------------------------------------

HRESULT CSonalterDisplay2::DispatchTypeInfo(ITypeInfo** info, ITypeInfo** vtableView) {
    return GetComponentTypeInfo(IID_ISonalterDisplay2, info, vtableView);
}

STDMETHODIMP CSonalterDisplay2::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return DispatchTypeInfo(ppTInfo, nullptr);
}

STDMETHODIMP CSonalterDisplay2::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                              DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = DispatchTypeInfo(&info, nullptr);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
    info->Release();
    return hr;
}

STDMETHODIMP CSonalterDisplay2::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                       DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                       UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    ITypeInfo* vtable = nullptr;
    HRESULT hr = DispatchTypeInfo(&info, &vtable);
    if (FAILED(hr)) return hr;
    hr = DispInvoke(static_cast<ISonalterDisplay2*>(this), vtable, dispIdMember, wFlags, pDispParams, pVarResult,
                    pExcepInfo, puArgErr);
    vtable->Release();
    info->Release();
    return hr;
}

// ---- Properties ---------------------------------------------------------------------

namespace {

template <class Out, class Value>
HRESULT GiveValue(Out* out, Value value) {
    if (!out) return E_POINTER;
    *out = static_cast<Out>(value);
    return S_OK;
}

}  // namespace

// A refused put: the message as rich error information with the control's
// program identifier as its source, and DISP_E_EXCEPTION.
HRESULT CSonalterDisplay2::RefuseLimit(const OLECHAR* message) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(IID_ISonalterDisplay2);
        LPOLESTR progId = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(CLSID_SonalterDisplay2, &progId)) && progId) {
            create->SetSource(progId);
            CoTaskMemFree(progId);
        }
        create->SetDescription(const_cast<LPOLESTR>(message));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return DISP_E_EXCEPTION;
}

#define QELV_COLOR_PROPERTY(Name)                                                          \
    STDMETHODIMP CSonalterDisplay2::put_##Name(OLE_COLOR clr) {                            \
        Name = clr;                                                                        \
        RedrawNow();                                                                       \
        return S_OK;                                                                       \
    }                                                                                      \
    STDMETHODIMP CSonalterDisplay2::get_##Name(OLE_COLOR* pclr) { return GiveValue(pclr, Name); }

QELV_COLOR_PROPERTY(BorderColor)
QELV_COLOR_PROPERTY(BackColor)
QELV_COLOR_PROPERTY(GridColor)
QELV_COLOR_PROPERTY(ScaleColor)
QELV_COLOR_PROPERTY(TextColor)
QELV_COLOR_PROPERTY(Color)
QELV_COLOR_PROPERTY(PointColor)
#undef QELV_COLOR_PROPERTY

// The stored 16-bit value is kept as given (any non-zero value reads as true).
#define QELV_FLAG_PROPERTY(Name)                                                           \
    STDMETHODIMP CSonalterDisplay2::put_##Name(VARIANT_BOOL vbool) {                       \
        Name = vbool;                                                                      \
        RedrawNow();                                                                       \
        return S_OK;                                                                       \
    }                                                                                      \
    STDMETHODIMP CSonalterDisplay2::get_##Name(VARIANT_BOOL* pbool) { return GiveValue(pbool, Name); }

QELV_FLAG_PROPERTY(GridVisible)
QELV_FLAG_PROPERTY(ScaleXVisible)
QELV_FLAG_PROPERTY(ScaleYVisible)
QELV_FLAG_PROPERTY(LogScale)
#undef QELV_FLAG_PROPERTY

STDMETHODIMP CSonalterDisplay2::put_BorderStyle(BorderTypeConstants style) {
    BorderStyle = static_cast<LONG>(style);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_BorderStyle(BorderTypeConstants* pstyle) { return GiveValue(pstyle, BorderStyle); }

STDMETHODIMP CSonalterDisplay2::put_SplineType(SplineTypeConstants type) {
    SplineType = static_cast<LONG>(type);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_SplineType(SplineTypeConstants* ptype) { return GiveValue(ptype, SplineType); }

STDMETHODIMP CSonalterDisplay2::put_LineArraySize(LONG size) {
    LineArraySize = size;
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_LineArraySize(LONG* psize) { return GiveValue(psize, LineArraySize); }

STDMETHODIMP CSonalterDisplay2::put_SplineSteepnes(LONG steepness) {
    SplineSteepnes = steepness;
    if (SplineSteepnes > 100) SplineSteepnes = 100;
    if (SplineSteepnes < 1) SplineSteepnes = 1;
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_SplineSteepnes(LONG* psteepness) { return GiveValue(psteepness, SplineSteepnes); }

// The scale limits: a put that would not leave the minimum below the maximum
// (NaN included, since it compares false) is refused and changes nothing.
STDMETHODIMP CSonalterDisplay2::put_ScaleXMax(FLOAT value) {
    if (!(value > ScaleXMin)) return RefuseLimit(OLESTR("ScaleXMax should be more ScaleXMin"));
    ScaleXMax = value;
    points_.SetXLimits(ScaleXMin, ScaleXMax);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_ScaleXMax(FLOAT* pvalue) { return GiveValue(pvalue, ScaleXMax); }

STDMETHODIMP CSonalterDisplay2::put_ScaleXMin(FLOAT value) {
    if (!(value < ScaleXMax)) return RefuseLimit(OLESTR("ScaleXMin should be less ScaleXMax"));
    ScaleXMin = value;
    points_.SetXLimits(ScaleXMin, ScaleXMax);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_ScaleXMin(FLOAT* pvalue) { return GiveValue(pvalue, ScaleXMin); }

STDMETHODIMP CSonalterDisplay2::put_ScaleYMax(FLOAT value) {
    if (!(value > ScaleYMin)) return RefuseLimit(OLESTR("ScaleYMax should be more ScaleYMin"));
    ScaleYMax = value;
    points_.SetYLimits(ScaleYMin, ScaleYMax);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_ScaleYMax(FLOAT* pvalue) { return GiveValue(pvalue, ScaleYMax); }

STDMETHODIMP CSonalterDisplay2::put_ScaleYMin(FLOAT value) {
    if (!(value < ScaleYMax)) return RefuseLimit(OLESTR("ScaleYMin should be less ScaleYMax"));
    ScaleYMin = value;
    points_.SetYLimits(ScaleYMin, ScaleYMax);
    RedrawNow();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::get_ScaleYMin(FLOAT* pvalue) { return GiveValue(pvalue, ScaleYMin); }

// Stores a copy of caption unless it is the very string already stored; a null
// string stores none.
HRESULT CSonalterDisplay2::StoreCaption(BSTR* stored, BSTR caption) {
    if (caption != *stored) {
        BSTR copy = nullptr;
        if (caption) {
            copy = SysAllocStringLen(caption, SysStringLen(caption));
            if (!copy) return E_OUTOFMEMORY;
        }
        SysFreeString(*stored);
        *stored = copy;
    }
    RedrawNow();
    return S_OK;
}

namespace {

HRESULT GiveCaption(BSTR stored, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!stored) return S_OK;
    *out = SysAllocStringLen(stored, SysStringLen(stored));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

STDMETHODIMP CSonalterDisplay2::put_ScaleXCaption(BSTR caption) { return StoreCaption(&ScaleXCaption, caption); }

STDMETHODIMP CSonalterDisplay2::get_ScaleXCaption(BSTR* pcaption) { return GiveCaption(ScaleXCaption, pcaption); }

STDMETHODIMP CSonalterDisplay2::put_ScaleYCaption(BSTR caption) { return StoreCaption(&ScaleYCaption, caption); }

STDMETHODIMP CSonalterDisplay2::get_ScaleYCaption(BSTR* pcaption) { return GiveCaption(ScaleYCaption, pcaption); }

void CSonalterDisplay2::RedrawNow() {
    if (inPlaceActive_ && Window) {
        const RECT before = PositionRect;
        PositionFromExtent();
        if (inPlaceSite_ && (PositionRect.right != before.right || PositionRect.bottom != before.bottom)) {
            inPlaceSite_->OnPosRectChange(&PositionRect);
        }
        HDC dc = GetDC(Window);
        if (dc) {
            const RECT bounds{0, 0, PositionRect.right - PositionRect.left, PositionRect.bottom - PositionRect.top};
            DrawGraph(dc, bounds);
            ReleaseDC(Window, dc);
        }
        return;
    }
    if (Window) {
        InvalidateRect(Window, nullptr, FALSE);
        return;
    }
    if (!viewSink_ || !(viewAspects_ & DVASPECT_CONTENT)) return;
    IAdviseSink* sink = viewSink_;
    sink->AddRef();
    if (viewAdvf_ & 4) {  // ADVF_ONLYONCE: the first change ends the advice
        viewSink_->Release();
        viewSink_ = nullptr;
    }
    sink->OnViewChange(DVASPECT_CONTENT, -1);
    sink->Release();
}

// ---- Events ----------------------------------------------------------------------------

namespace {

VARIANTARG IntArg(INT value) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_INT;
    V_INT(&arg) = value;
    return arg;
}

}  // namespace

void CSonalterDisplay2::Fire_MouseMove(INT x, INT y) {
    VARIANTARG args[2] = {IntArg(y), IntArg(x)};
    events_.Fire(1, args, 2);
}

void CSonalterDisplay2::Fire_MouseUp(INT x, INT y) {
    VARIANTARG args[2] = {IntArg(y), IntArg(x)};
    events_.Fire(2, args, 2);
}

void CSonalterDisplay2::Fire_MouseDown(INT x, INT y) {
    VARIANTARG args[2] = {IntArg(y), IntArg(x)};
    events_.Fire(3, args, 2);
}

void CSonalterDisplay2::Fire_MouseClick(INT x, INT y) {
    VARIANTARG args[2] = {IntArg(y), IntArg(x)};
    events_.Fire(4, args, 2);
}

void CSonalterDisplay2::Fire_MouseDblClick() { events_.Fire(5, nullptr, 0); }

void CSonalterDisplay2::Fire_ResetPoint(LONG tickIndex) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = tickIndex;
    events_.Fire(6, &arg, 1);
}

// ---- IConnectionPointContainer -------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    IConnectionPoint* point = &events_;
    return CreateConnectionPointEnumerator(&point, 1, static_cast<ISonalterDisplay2*>(this), ppEnum);
}

STDMETHODIMP CSonalterDisplay2::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return FindOnlyConnectionPoint(&events_, DIID__ISonalterDisplay2Events, riid, ppCP);
}

// ---- ISupportErrorInfo ---------------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ISonalterDisplay2) ? S_OK : S_FALSE;
}

// ---- IProvideClassInfo2 --------------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::GetClassInfo(ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    return GetComponentTypeInfo(CLSID_SonalterDisplay2, ppTI);
}

STDMETHODIMP CSonalterDisplay2::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    return DefaultSourceGuid(DIID__ISonalterDisplay2Events, dwGuidKind, pGUID);
}

// ---- IObjectSafety ---------------------------------------------------------------------------

// Both options are supported for every interface the object has; the enabled
// options are the ones last set.
STDMETHODIMP CSonalterDisplay2::GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                                          DWORD* pdwEnabledOptions) {
    return GetSafetyOptions(static_cast<ISonalterDisplay2*>(this), safetyOptions_, riid, pdwSupportedOptions,
                            pdwEnabledOptions);
}

STDMETHODIMP CSonalterDisplay2::SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) {
    return SetSafetyOptions(static_cast<ISonalterDisplay2*>(this), &safetyOptions_, riid, dwOptionSetMask,
                            dwEnabledOptions);
}

}  // namespace qelv
