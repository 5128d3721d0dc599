// In-place activation: a container gives the control a client site and asks
// it to activate; the control then asks the site's in-place interface for
// permission and for its parent window and position, makes its own child
// window there, and becomes UI active on request (or on a click). The control
// always has a window of its own while active; it never runs windowless.
#include "display/SonalterDisplay2.h"

namespace qelv {
namespace {

// The status bits the registration script also records for the content aspect:
// redraw on resize, no links into it, active while visible (inside out), and
// the client site before loading.
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;

template <class T>
void ReleaseHeld(T*& held) {
    if (held) {
        T* old = held;
        held = nullptr;
        old->Release();
    }
}

}  // namespace

// ---- IOleObject ------------------------------------------------------------------------

// Holds the new site (NULL lets go of it). A control that is still active is
// deactivated first, since its window belongs to the old site's window.
STDMETHODIMP CSonalterDisplay2::SetClientSite(IOleClientSite* pClientSite) {
    if (pClientSite != clientSite_ && inPlaceActive_) InPlaceDeactivate();
    if (pClientSite) pClientSite->AddRef();
    ReleaseHeld(clientSite_);
    clientSite_ = pClientSite;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetClientSite(IOleClientSite** ppClientSite) {
    if (!ppClientSite) return E_POINTER;
    *ppClientSite = clientSite_;
    if (clientSite_) clientSite_->AddRef();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

// Deactivates; the control's properties are saved by the container through
// the persistence interfaces, so there is nothing to save here.
STDMETHODIMP CSonalterDisplay2::Close(DWORD) {
    InPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP CSonalterDisplay2::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CSonalterDisplay2::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP CSonalterDisplay2::GetClipboardData(DWORD, IDataObject** ppDataObject) {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

// The primary verb, show, in-place activate and UI activate all activate the
// control in place (the primary verb and UI activate also make it UI active);
// hide takes away its UI and hides its window. Other positive verbs are not
// the control's (OLEOBJ_S_INVALIDVERB after activating, as for the primary
// verb); other negative ones are not implemented.
STDMETHODIMP CSonalterDisplay2::DoVerb(LONG iVerb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) {
    switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(iVerb);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (Window) ShowWindow(Window, SW_HIDE);
        return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        if (iVerb > 0) {
            const HRESULT hr = InPlaceActivate(OLEIVERB_PRIMARY);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL;
    }
}

STDMETHODIMP CSonalterDisplay2::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    if (ppEnumOleVerb) *ppEnumOleVerb = nullptr;
    return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP CSonalterDisplay2::Update() { return S_OK; }

STDMETHODIMP CSonalterDisplay2::IsUpToDate() { return S_OK; }

STDMETHODIMP CSonalterDisplay2::GetUserClassID(CLSID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_SonalterDisplay2;
    return S_OK;
}

// The user type names are in the registry.
STDMETHODIMP CSonalterDisplay2::GetUserType(DWORD, LPOLESTR* pszUserType) {
    if (pszUserType) *pszUserType = nullptr;
    return OLE_S_USEREG;
}

// The extent (HIMETRIC) of the content aspect. It decides the control's size in
// pixels: the next redraw brings the position rectangle in line with it.
STDMETHODIMP CSonalterDisplay2::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (!psizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (psizel->cx < 0 || psizel->cy < 0) return E_INVALIDARG;
    Extent = *psizel;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    if (!psizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *psizel = Extent;
    return S_OK;
}

// Changes reach a container through the view sink (IViewObject::SetAdvise)
// and the events; there is no separate object advice.
STDMETHODIMP CSonalterDisplay2::Advise(IAdviseSink*, DWORD* pdwConnection) {
    if (pdwConnection) *pdwConnection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CSonalterDisplay2::Unadvise(DWORD) { return OLE_E_NOCONNECTION; }

STDMETHODIMP CSonalterDisplay2::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CSonalterDisplay2::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = dwAspect == DVASPECT_CONTENT ? kMiscStatus : 0;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- Activation -------------------------------------------------------------------------

// Activates in place: the site must agree (CanInPlaceActivate S_OK), then gives
// the parent window, the frame and document windows and the position; the
// control makes its window there (or moves the one it has) and shows it. The
// primary and UI-activate verbs go on to UI activation. Without a client site
// there is nothing to activate in (S_OK).
HRESULT CSonalterDisplay2::InPlaceActivate(LONG verb) {
    if (!clientSite_) return S_OK;
    if (!inPlaceActive_) {
        IOleInPlaceSite* site = nullptr;
        if (FAILED(clientSite_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))) || !site) {
            return E_FAIL;
        }
        const HRESULT can = site->CanInPlaceActivate();
        if (can != S_OK) {
            site->Release();
            return FAILED(can) ? can : E_FAIL;
        }
        inPlaceSite_ = site;
        inPlaceActive_ = true;
        inPlaceSite_->OnInPlaceActivate();
    }

    HWND parent = nullptr;
    HRESULT hr = inPlaceSite_->GetWindow(&parent);
    if (FAILED(hr) || !parent) {
        InPlaceDeactivate();
        return FAILED(hr) ? hr : E_FAIL;
    }
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT position{0, 0, 0, 0};
    RECT clip{0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    hr = inPlaceSite_->GetWindowContext(&frame, &doc, &position, &clip, &frameInfo);
    if (FAILED(hr)) {
        InPlaceDeactivate();
        return hr;
    }
    ReleaseHeld(inPlaceFrame_);
    ReleaseHeld(inPlaceDoc_);
    inPlaceFrame_ = frame;
    inPlaceDoc_ = doc;

    if (!Window) {
        hr = CreateControlWindow(parent, position);
        if (FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
    } else {
        SetObjectRects(&position, &clip);
    }
    ShowWindow(Window, SW_SHOW);

    if (verb == OLEIVERB_PRIMARY || verb == OLEIVERB_UIACTIVATE) {
        hr = UIActivate();
        if (FAILED(hr)) return hr;
    }
    clientSite_->ShowObject();
    return S_OK;
}

// UI activation: the site is told, the control's window takes the focus, and
// the frame and document windows learn the active object.
HRESULT CSonalterDisplay2::UIActivate() {
    if (!inPlaceActive_ || !Window) return E_UNEXPECTED;
    if (uiActive_) return S_OK;
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (GetFocus() != Window) SetFocus(Window);
    IOleInPlaceActiveObject* active = this;
    if (inPlaceFrame_) inPlaceFrame_->SetActiveObject(active, nullptr);
    if (inPlaceDoc_) inPlaceDoc_->SetActiveObject(active, nullptr);
    return S_OK;
}

// ---- IOleInPlaceObject, IOleInPlaceActiveObject ----------------------------------------

STDMETHODIMP CSonalterDisplay2::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = Window;
    return Window ? S_OK : E_FAIL;
}

STDMETHODIMP CSonalterDisplay2::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// Leaves UI activity, destroys the window and tells the site; the frame and
// site interfaces are let go. Safe to call when not active.
STDMETHODIMP CSonalterDisplay2::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    UIDeactivate();
    inPlaceActive_ = false;
    DestroyControlWindow();
    ReleaseHeld(inPlaceFrame_);
    ReleaseHeld(inPlaceDoc_);
    IOleInPlaceSite* site = inPlaceSite_;
    inPlaceSite_ = nullptr;
    if (site) {
        site->OnInPlaceDeactivate();
        site->Release();
    }
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (inPlaceFrame_) inPlaceFrame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceDoc_) inPlaceDoc_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

// The container's new position for the control (its parent's client
// coordinates): stored and the window moved there. The clip rectangle is not
// needed: the parent clips its children.
STDMETHODIMP CSonalterDisplay2::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_INVALIDARG;
    PositionRect = *lprcPosRect;
    if (Window) {
        SetWindowPos(Window, nullptr, PositionRect.left, PositionRect.top, PositionRect.right - PositionRect.left,
                     PositionRect.bottom - PositionRect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::ReactivateAndUndo() { return E_NOTIMPL; }

// The control has no accelerators and no menus or tool space of its own.
STDMETHODIMP CSonalterDisplay2::TranslateAccelerator(LPMSG) { return S_FALSE; }

STDMETHODIMP CSonalterDisplay2::OnFrameWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP CSonalterDisplay2::OnDocWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP CSonalterDisplay2::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

STDMETHODIMP CSonalterDisplay2::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl -------------------------------------------------------------------------

STDMETHODIMP CSonalterDisplay2::GetControlInfo(CONTROLINFO* pCI) {
    if (!pCI) return E_POINTER;
    pCI->hAccel = nullptr;
    pCI->cAccel = 0;
    pCI->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::OnMnemonic(LPMSG) { return E_NOTIMPL; }

// The control takes none of the container's ambient properties.
STDMETHODIMP CSonalterDisplay2::OnAmbientPropertyChange(DISPID) { return S_OK; }

// Counted only: the control fires its events as they happen, and a container
// that does not want them leaves its sink unconnected.
STDMETHODIMP CSonalterDisplay2::FreezeEvents(BOOL bFreeze) {
    freezeEvents_ += bFreeze ? 1 : (freezeEvents_ > 0 ? -1 : 0);
    return S_OK;
}

}  // namespace qelv
