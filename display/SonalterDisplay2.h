// CSonalterDisplay2: the graphing control. It holds the graph's properties and
// its points, serves ISonalterDisplay2 by direct calls and by dispatch, fires
// _ISonalterDisplay2Events, and saves and loads its properties as a stream or
// as the stream "Contents" of a storage. The point list, the scale mapping, the
// curve shapes and the persisted layout each live in their own file.
#pragma once

#include <qelvsonalter2/QelvSonalter2.h>

#include "display/PointList.h"
#include "display/ScaleMapping.h"
#include "server/ConnectionPoint.h"
#include "server/ModuleLock.h"

namespace qelv {

class CSonalterDisplay2 final : public ISonalterDisplay2,
                                public IConnectionPointContainer,
                                public ISupportErrorInfo,
                                public IProvideClassInfo2,
                                public IObjectSafety,
                                public IPersistStreamInit,
                                public IPersistStorage,
                                public IViewObject2,
                                public IOleObject,
                                public IOleInPlaceObject,
                                public IOleInPlaceActiveObject,
                                public IOleControl,
                                public IDataObject {
public:
    // Creates a control with one reference, or returns nullptr when out of memory.
    static CSonalterDisplay2* Create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, served from the type library.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // Points and curves (DisplayCurves.cpp).
    STDMETHODIMP GetLineArray(SAFEARRAY** Array) override;
    STDMETHODIMP GetPointArray(SAFEARRAY** Array) override;
    STDMETHODIMP SetPointArray(SAFEARRAY** Array) override;
    STDMETHODIMP SetPoint(LONG Index, FLOAT Param1, FLOAT Param2) override;

    // Mouse positions to scale values (DisplayMapping.cpp).
    STDMETHODIMP MouseXToScaleX(INT MouseX, FLOAT* ScaleX) override;
    STDMETHODIMP MouseYToScaleY(INT MouseY, FLOAT* ScaleY) override;

    // Properties (SonalterDisplay2.cpp; the font in DisplayScaleFont.cpp).
    STDMETHODIMP put_BorderColor(OLE_COLOR clr) override;
    STDMETHODIMP get_BorderColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_BackColor(OLE_COLOR clr) override;
    STDMETHODIMP get_BackColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_GridColor(OLE_COLOR clr) override;
    STDMETHODIMP get_GridColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_ScaleColor(OLE_COLOR clr) override;
    STDMETHODIMP get_ScaleColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_TextColor(OLE_COLOR clr) override;
    STDMETHODIMP get_TextColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_Color(OLE_COLOR clr) override;
    STDMETHODIMP get_Color(OLE_COLOR* pclr) override;
    STDMETHODIMP put_GridVisible(VARIANT_BOOL vbool) override;
    STDMETHODIMP get_GridVisible(VARIANT_BOOL* pbool) override;
    STDMETHODIMP put_ScaleXVisible(VARIANT_BOOL vbool) override;
    STDMETHODIMP get_ScaleXVisible(VARIANT_BOOL* pbool) override;
    STDMETHODIMP put_ScaleYVisible(VARIANT_BOOL vbool) override;
    STDMETHODIMP get_ScaleYVisible(VARIANT_BOOL* pbool) override;
    STDMETHODIMP put_BorderStyle(BorderTypeConstants style) override;
    STDMETHODIMP get_BorderStyle(BorderTypeConstants* pstyle) override;
    STDMETHODIMP putref_ScaleFont(IFontDisp* pFont) override;
    STDMETHODIMP get_ScaleFont(IFontDisp** ppFont) override;
    STDMETHODIMP put_LineArraySize(LONG size) override;
    STDMETHODIMP get_LineArraySize(LONG* psize) override;
    STDMETHODIMP put_PointColor(OLE_COLOR clr) override;
    STDMETHODIMP get_PointColor(OLE_COLOR* pclr) override;
    STDMETHODIMP put_SplineType(SplineTypeConstants type) override;
    STDMETHODIMP get_SplineType(SplineTypeConstants* ptype) override;
    STDMETHODIMP put_ScaleXMax(FLOAT value) override;
    STDMETHODIMP get_ScaleXMax(FLOAT* pvalue) override;
    STDMETHODIMP put_ScaleYMax(FLOAT value) override;
    STDMETHODIMP get_ScaleYMax(FLOAT* pvalue) override;
    STDMETHODIMP put_ScaleXMin(FLOAT value) override;
    STDMETHODIMP get_ScaleXMin(FLOAT* pvalue) override;
    STDMETHODIMP put_ScaleYMin(FLOAT value) override;
    STDMETHODIMP get_ScaleYMin(FLOAT* pvalue) override;
    STDMETHODIMP put_LogScale(VARIANT_BOOL vbool) override;
    STDMETHODIMP get_LogScale(VARIANT_BOOL* pbool) override;
    STDMETHODIMP put_ScaleXCaption(BSTR caption) override;
    STDMETHODIMP get_ScaleXCaption(BSTR* pcaption) override;
    STDMETHODIMP put_ScaleYCaption(BSTR caption) override;
    STDMETHODIMP get_ScaleYCaption(BSTR* pcaption) override;
    STDMETHODIMP put_SplineSteepnes(LONG steepness) override;
    STDMETHODIMP get_SplineSteepnes(LONG* psteepness) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;
    STDMETHODIMP GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    // IObjectSafety
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions, DWORD* pdwEnabledOptions) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) override;

    // IPersist, IPersistStreamInit and IPersistStorage (DisplayPersistence.cpp).
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM pStm) override;
    STDMETHODIMP Save(LPSTREAM pStm, BOOL fClearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* pCbSize) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP InitNew(IStorage* pStg) override;
    STDMETHODIMP Load(IStorage* pStg) override;
    STDMETHODIMP Save(IStorage* pStgSave, BOOL fSameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* pStgNew) override;
    STDMETHODIMP HandsOffStorage() override;

    // IViewObject, IViewObject2 (DisplayView.cpp): a host draws the control
    // into its own device context without activating it.
    STDMETHODIMP Draw(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev,
                      HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                      BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR dwContinue), ULONG_PTR dwContinue) override;
    STDMETHODIMP GetColorSet(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                             HDC hicTargetDev, LOGPALETTE** ppColorSet) override;
    STDMETHODIMP Freeze(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) override;
    STDMETHODIMP Unfreeze(DWORD dwFreeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    STDMETHODIMP GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) override;

    // IOleObject (DisplayInPlace.cpp): a container gives the control its client
    // site and asks for in-place activation, which makes the control's window.
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                        LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject (DisplayInPlace.cpp).
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IOleControl (DisplayInPlace.cpp).
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(LPMSG pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IDataObject (DisplayData.cpp): the control's picture as a device-
    // independent bitmap (CF_DIB in global memory) at its size.
    STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    STDMETHODIMP SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // Mouse editing of the points (DisplayMouse.cpp), called by the window
    // procedure with the message's client coordinates.
    LONG HitTestPoint(INT px, INT py);
    LONG HitTestPoint(const ScaleGeometry& g, INT px, INT py);
    void OnLButtonDown(INT x, INT y);
    void OnLButtonUp(INT x, INT y);
    void OnLButtonDblClk(INT x, INT y);
    void OnMouseMove(INT x, INT y);

    // Events, each called on every connected sink.
    void Fire_MouseMove(INT x, INT y);
    void Fire_MouseUp(INT x, INT y);
    void Fire_MouseDown(INT x, INT y);
    void Fire_MouseClick(INT x, INT y);
    void Fire_MouseDblClick();
    void Fire_ResetPoint(LONG tickIndex);

    // Shows a change at once: while the control is in place active with its
    // window, its position rectangle takes the extent's size (the site is told
    // of a change) and the graph is drawn into the window; otherwise the host's
    // view sink (SetAdvise) is told that the view changed.
    void RedrawNow();

    // The geometry both mappings use: the scale limits, LogScale and the plot
    // size from the control's size and the measured scale bands.
    ScaleGeometry MappingGeometry();

    // The control's size in pixels: its position rectangle once it has one,
    // else its extent at the screen's pixels per inch.
    SIZE ControlPixelSize();

    // The extent's size in pixels at the screen's pixels per inch.
    SIZE ExtentPixels();

    // The scale font handle, created on first use (face "Small Fonts", a
    // 7-point character height) unless one was given through ScaleFont.
    HFONT ScaleFontHandle();

    // Draws the whole graph into target over bounds (DrawGraph.cpp): nothing
    // while the control has no window of its own.
    HRESULT DrawGraph(HDC target, const RECT& bounds);

    // The drawing itself, also for a host that renders the control without
    // activating it: an off-screen bitmap of the rectangle's size, copied to
    // the rectangle's top left corner. S_OK, also for an empty rectangle;
    // E_OUTOFMEMORY when the bitmap or its context cannot be made, or when a
    // metafile target cannot record the copy.
    HRESULT RenderGraph(HDC target, const RECT& bounds);

    const CPointList& PointList() const { return points_; }

private:
    // The picture for data transfer at the given pixel size, in a new global
    // block: a CF_DIB, or a METAFILEPICT; nullptr with *hr set on failure.
    HGLOBAL PictureAsDib(SIZE size, HRESULT* hr);
    HGLOBAL PictureAsMetafile(SIZE size, HRESULT* hr);

public:
    // Object state, defaults at construction.
    OLE_COLOR BackColor = 0x00000000;
    OLE_COLOR BorderColor = 0x00000000;
    OLE_COLOR GridColor = 0x00707070;
    OLE_COLOR ScaleColor = 0x8000000F;
    OLE_COLOR TextColor = 0x80000012;
    OLE_COLOR Color = 0x0040FF40;
    OLE_COLOR PointColor = 0x0000FFFF;
    LONG SplineSteepnes = 32;
    LONG BorderStyle = 0;
    FLOAT ScaleXMin = 0.0f;
    FLOAT ScaleXMax = 22050.0f;
    FLOAT ScaleYMax = 20.0f;
    FLOAT ScaleYMin = -20.0f;
    LONG LineArraySize = 1024;
    BSTR ScaleXCaption = nullptr;
    BSTR ScaleYCaption = nullptr;
    VARIANT_BOOL GridVisible = 1;
    VARIANT_BOOL ScaleXVisible = 1;
    VARIANT_BOOL ScaleYVisible = 1;
    LONG SplineType = 1;
    VARIANT_BOOL LogScale = 0;
    SIZEL Extent{5080, 5080};  // HIMETRIC
    RECT PositionRect{0, 0, 0, 0};
    HWND Window = nullptr;  // the control's own window while in-place active

    // Mouse editing state.
    static constexpr LONG MaxPoints = 150;
    LONG DragIndex = -1;
    bool Dragging = false;
    HCURSOR PointCursor = nullptr;
    HCURSOR SavedCursor = nullptr;

private:
    CSonalterDisplay2();
    ~CSonalterDisplay2();

    HRESULT DispatchTypeInfo(ITypeInfo** info, ITypeInfo** vtableView);
    HRESULT RefuseLimit(const OLECHAR* message);
    HRESULT StoreCaption(BSTR* stored, BSTR caption);
    void ReleaseScaleFont();
    void DrawCurve(HDC dc, const ScaleGeometry& g);
    void DrawXScale(HDC dc, const ScaleGeometry& g);
    void DrawYScale(HDC dc, const ScaleGeometry& g, LONG textHeight);
    void DrawBorder(HDC dc, LONG w, LONG h);

    // In-place activation (DisplayInPlace.cpp) and the window (DisplayWindow.cpp).
    HRESULT InPlaceActivate(LONG verb);
    HRESULT UIActivate();
    HRESULT CreateControlWindow(HWND parent, const RECT& position);
    void DestroyControlWindow();
    void PositionFromExtent();
    void ShowPointCursor();
    LRESULT WindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ModuleLockHolder moduleLock_;
    LONG volatile refs_ = 1;
    CConnectionPoint events_;
    DWORD safetyOptions_ = 0;
    CPointList points_;
    HFONT scaleFont_ = nullptr;
    bool ownsScaleFont_ = false;
    IFont* scaleFontObject_ = nullptr;  // held while its handle is the scale font
    IAdviseSink* viewSink_ = nullptr;    // the host's view sink, held
    DWORD viewAspects_ = 0;
    DWORD viewAdvf_ = 0;
    IOleClientSite* clientSite_ = nullptr;     // held
    IOleInPlaceSite* inPlaceSite_ = nullptr;   // held while in-place active
    IOleInPlaceFrame* inPlaceFrame_ = nullptr;  // held while in-place active
    IOleInPlaceUIWindow* inPlaceDoc_ = nullptr;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    LONG freezeEvents_ = 0;
};

}  // namespace qelv
