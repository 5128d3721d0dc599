#include "Site.h"

#include <new>

namespace controlsite {

Site* Site::Create(HWND window) { return new (std::nothrow) Site(window); }

Site::~Site() { Detach(); }

void Site::Detach() {
    inPlaceObject_ = nullptr;
    if (activeObject_) {
        IOleInPlaceActiveObject* old = activeObject_;
        activeObject_ = nullptr;
        old->Release();
    }
}

// ---- IUnknown ---------------------------------------------------------------------------

STDMETHODIMP Site::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
        *ppv = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
        *ppv = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Site::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) Site::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

// ---- IOleClientSite ---------------------------------------------------------------------

// The host saves the control's properties itself, when it decides to.
STDMETHODIMP Site::SaveObject() { return S_OK; }

STDMETHODIMP Site::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP Site::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
}

// The control is always in view: the host window shows nothing else.
STDMETHODIMP Site::ShowObject() { return S_OK; }

STDMETHODIMP Site::OnShowWindow(BOOL) { return S_OK; }

STDMETHODIMP Site::RequestNewObjectLayout() { return E_NOTIMPL; }

// ---- IOleWindow -------------------------------------------------------------------------

STDMETHODIMP Site::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP Site::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// ---- IOleInPlaceSite --------------------------------------------------------------------

STDMETHODIMP Site::CanInPlaceActivate() { return window_ ? S_OK : S_FALSE; }

STDMETHODIMP Site::OnInPlaceActivate() {
    inPlaceActive_ = true;
    return S_OK;
}

STDMETHODIMP Site::OnUIActivate() {
    uiActive_ = true;
    return S_OK;
}

// The frame is this object; there is no separate document window. The control
// goes where SetPosition put it, unclipped within the host window.
STDMETHODIMP Site::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                    LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) *ppFrame = nullptr;
    if (ppDoc) *ppDoc = nullptr;
    if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect) return E_POINTER;
    *ppFrame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *lprcPosRect = position_;
    *lprcClipRect = position_;
    if (lpFrameInfo) {
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = window_;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP Site::Scroll(SIZE) { return E_NOTIMPL; }

STDMETHODIMP Site::OnUIDeactivate(BOOL) {
    uiActive_ = false;
    return S_OK;
}

STDMETHODIMP Site::OnInPlaceDeactivate() {
    inPlaceActive_ = false;
    uiActive_ = false;
    return S_OK;
}

STDMETHODIMP Site::DiscardUndoState() { return S_OK; }

STDMETHODIMP Site::DeactivateAndUndo() { return E_NOTIMPL; }

// The control asks for a new rectangle (it keeps its size to its extent). The
// site agrees and gives it back through SetObjectRects, except when it is the
// rectangle the site already gave: answering that one again would make the
// control report it again, back and forth.
STDMETHODIMP Site::OnPosRectChange(LPCRECT lprcPosRect) {
    if (!lprcPosRect) return E_POINTER;
    const RECT& r = *lprcPosRect;
    if (r.left == position_.left && r.top == position_.top && r.right == position_.right &&
        r.bottom == position_.bottom) {
        return S_OK;
    }
    position_ = r;
    if (!inPlaceObject_) return S_OK;
    ++rectsGiven_;
    return inPlaceObject_->SetObjectRects(&position_, &position_);
}

// ---- IOleInPlaceUIWindow, IOleInPlaceFrame: no tools, no borders, no menus -------------

STDMETHODIMP Site::GetBorder(LPRECT lprectBorder) {
    if (lprectBorder) SetRect(lprectBorder, 0, 0, 0, 0);
    return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP Site::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }

STDMETHODIMP Site::SetBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }

// Holds the UI-active object until it is replaced or cleared.
STDMETHODIMP Site::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    if (pActiveObject) pActiveObject->AddRef();
    IOleInPlaceActiveObject* old = activeObject_;
    activeObject_ = pActiveObject;
    if (old) old->Release();
    return S_OK;
}

STDMETHODIMP Site::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }

STDMETHODIMP Site::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }

STDMETHODIMP Site::RemoveMenus(HMENU) { return E_NOTIMPL; }

STDMETHODIMP Site::SetStatusText(LPCOLESTR) { return S_OK; }

STDMETHODIMP Site::EnableModeless(BOOL) { return S_OK; }

STDMETHODIMP Site::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

}  // namespace controlsite
