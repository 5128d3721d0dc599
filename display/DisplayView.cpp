// The view protocol: a host draws the control into its own device context
// (a window's, a memory context's, a printer's) without activating it, and
// can be told when the picture changes.
#include "display/SonalterDisplay2.h"

namespace qelv {

// Draws the content aspect over lprcBounds in hdcDraw's coordinates, through
// the same routine that paints the control's window. Only DVASPECT_CONTENT
// (DV_E_DVASPECT otherwise) with lindex -1 (DV_E_LINDEX); a null context or
// rectangle gives E_INVALIDARG. The target device and the continue callback
// are not needed: the graph is drawn in one pass.
STDMETHODIMP CSonalterDisplay2::Draw(DWORD dwDrawAspect, LONG lindex, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw,
                                     LPCRECTL lprcBounds, LPCRECTL,
                                     BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (lindex != -1) return DV_E_LINDEX;
    if (!hdcDraw || !lprcBounds) return E_INVALIDARG;
    const RECT bounds{lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom};
    return RenderGraph(hdcDraw, bounds);
}

// The control draws in the colours it has, without a palette of its own.
STDMETHODIMP CSonalterDisplay2::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** ppColorSet) {
    if (ppColorSet) *ppColorSet = nullptr;
    return E_NOTIMPL;
}

// The graph is drawn afresh each time; there is no frozen picture.
STDMETHODIMP CSonalterDisplay2::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) {
    if (pdwFreeze) *pdwFreeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP CSonalterDisplay2::Unfreeze(DWORD) { return E_NOTIMPL; }

// Holds one view sink (replacing any earlier one; NULL ends the advice). It is
// told OnViewChange(DVASPECT_CONTENT, -1) after every change while the control
// has no window of its own; ADVF_ONLYONCE ends the advice after the first.
STDMETHODIMP CSonalterDisplay2::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) {
    if (pAdvSink) pAdvSink->AddRef();
    if (viewSink_) viewSink_->Release();
    viewSink_ = pAdvSink;
    viewAspects_ = aspects;
    viewAdvf_ = advf;
    return S_OK;
}

STDMETHODIMP CSonalterDisplay2::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
    if (pAspects) *pAspects = viewAspects_;
    if (pAdvf) *pAdvf = viewAdvf_;
    if (ppAdvSink) {
        *ppAdvSink = viewSink_;
        if (viewSink_) viewSink_->AddRef();
    }
    return S_OK;
}

// The control's extent in HIMETRIC for the content aspect; E_FAIL for others.
STDMETHODIMP CSonalterDisplay2::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
    if (!lpsizel) return E_POINTER;
    if (dwDrawAspect != DVASPECT_CONTENT) return E_FAIL;
    *lpsizel = Extent;
    return S_OK;
}

}  // namespace qelv
