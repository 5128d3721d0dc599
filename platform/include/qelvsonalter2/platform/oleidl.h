// The in-place activation protocols between a control and its container: the
// object (IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl)
// and the site around it (IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame),
// with the verbs, status bits and structures they exchange. A container puts a
// control into one of its windows by giving it a client site and asking for the
// in-place activation verb; the control then makes its own child window.
#pragma once

#include "objidl.h"
#include "wingdi.h"

typedef RECT* LPRECT;
typedef const RECT* LPCRECT;
typedef RECT BORDERWIDTHS;
typedef RECT* LPBORDERWIDTHS;
typedef const RECT* LPCBORDERWIDTHS;
typedef struct HMENU__* HMENU;
typedef struct HACCEL__* HACCEL;
typedef HGLOBAL HOLEMENU;
struct tagMSG;
typedef struct tagMSG* LPMSG;

struct IEnumOLEVERB;
struct IOleContainer;

// Verbs a container asks an object to carry out (IOleObject::DoVerb).
#define OLEIVERB_PRIMARY (0L)
#define OLEIVERB_SHOW (-1L)
#define OLEIVERB_OPEN (-2L)
#define OLEIVERB_HIDE (-3L)
#define OLEIVERB_UIACTIVATE (-4L)
#define OLEIVERB_INPLACEACTIVATE (-5L)
#define OLEIVERB_DISCARDUNDOSTATE (-6L)

// Status bits an object reports for an aspect (IOleObject::GetMiscStatus).
enum tagOLEMISC {
    OLEMISC_RECOMPOSEONRESIZE = 0x1,
    OLEMISC_ONLYICONIC = 0x2,
    OLEMISC_INSERTNOTREPLACE = 0x4,
    OLEMISC_STATIC = 0x8,
    OLEMISC_CANTLINKINSIDE = 0x10,
    OLEMISC_CANLINKBYOLE1 = 0x20,
    OLEMISC_ISLINKOBJECT = 0x40,
    OLEMISC_INSIDEOUT = 0x80,
    OLEMISC_ACTIVATEWHENVISIBLE = 0x100,
    OLEMISC_RENDERINGISDEVICEINDEPENDENT = 0x200,
    OLEMISC_INVISIBLEATRUNTIME = 0x400,
    OLEMISC_ALWAYSRUN = 0x800,
    OLEMISC_ACTSLIKEBUTTON = 0x1000,
    OLEMISC_ACTSLIKELABEL = 0x2000,
    OLEMISC_NOUIACTIVATE = 0x4000,
    OLEMISC_ALIGNABLE = 0x8000,
    OLEMISC_SIMPLEFRAME = 0x10000,
    OLEMISC_SETCLIENTSITEFIRST = 0x20000,
    OLEMISC_IMEMODE = 0x40000
};

enum tagOLECLOSE { OLECLOSE_SAVEIFDIRTY = 0, OLECLOSE_NOSAVE = 1, OLECLOSE_PROMPTSAVE = 2 };
enum tagUSERCLASSTYPE { USERCLASSTYPE_FULL = 1, USERCLASSTYPE_SHORT = 2, USERCLASSTYPE_APPNAME = 3 };
enum tagOLEWHICHMK { OLEWHICHMK_CONTAINER = 1, OLEWHICHMK_OBJREL = 2, OLEWHICHMK_OBJFULL = 3 };
enum tagOLEGETMONIKER {
    OLEGETMONIKER_ONLYIFTHERE = 1,
    OLEGETMONIKER_FORCEASSIGN = 2,
    OLEGETMONIKER_UNASSIGN = 3,
    OLEGETMONIKER_TEMPFORUSER = 4
};

#define OLE_E_ADVISENOTSUPPORTED ((HRESULT)0x80040003L)
#define OLE_E_NOCONNECTION ((HRESULT)0x80040004L)
#define OLE_E_NOT_INPLACEACTIVE ((HRESULT)0x80040010L)
#define OLE_E_CANT_BINDTOSOURCE ((HRESULT)0x8004000AL)
#define OLE_S_USEREG ((HRESULT)0x00040000L)
#define OLEOBJ_E_NOVERBS ((HRESULT)0x80040180L)
#define OLEOBJ_E_INVALIDVERB ((HRESULT)0x80040181L)
#define OLEOBJ_S_INVALIDVERB ((HRESULT)0x00040180L)
#define OLEOBJ_S_CANNOT_DOVERB_NOW ((HRESULT)0x00040181L)
#define INPLACE_E_NOTOOLSPACE ((HRESULT)0x800401A1L)

typedef struct tagOIFI {
    UINT cb;
    BOOL fMDIApp;
    HWND hwndFrame;
    HACCEL haccel;
    UINT cAccelEntries;
} OLEINPLACEFRAMEINFO, *LPOLEINPLACEFRAMEINFO;

typedef struct tagOleMenuGroupWidths {
    LONG width[6];
} OLEMENUGROUPWIDTHS, *LPOLEMENUGROUPWIDTHS;

typedef struct tagCONTROLINFO {
    ULONG cb;
    HACCEL hAccel;
    USHORT cAccel;
    DWORD dwFlags;
} CONTROLINFO, *LPCONTROLINFO;

struct IOleClientSite : public IUnknown {
    STDMETHOD(SaveObject)() = 0;
    STDMETHOD(GetMoniker)(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) = 0;
    STDMETHOD(GetContainer)(IOleContainer** ppContainer) = 0;
    STDMETHOD(ShowObject)() = 0;
    STDMETHOD(OnShowWindow)(BOOL fShow) = 0;
    STDMETHOD(RequestNewObjectLayout)() = 0;
};

struct IOleObject : public IUnknown {
    STDMETHOD(SetClientSite)(IOleClientSite* pClientSite) = 0;
    STDMETHOD(GetClientSite)(IOleClientSite** ppClientSite) = 0;
    STDMETHOD(SetHostNames)(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) = 0;
    STDMETHOD(Close)(DWORD dwSaveOption) = 0;
    STDMETHOD(SetMoniker)(DWORD dwWhichMoniker, IMoniker* pmk) = 0;
    STDMETHOD(GetMoniker)(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) = 0;
    STDMETHOD(InitFromData)(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) = 0;
    STDMETHOD(GetClipboardData)(DWORD dwReserved, IDataObject** ppDataObject) = 0;
    STDMETHOD(DoVerb)(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                      LPCRECT lprcPosRect) = 0;
    STDMETHOD(EnumVerbs)(IEnumOLEVERB** ppEnumOleVerb) = 0;
    STDMETHOD(Update)() = 0;
    STDMETHOD(IsUpToDate)() = 0;
    STDMETHOD(GetUserClassID)(CLSID* pClsid) = 0;
    STDMETHOD(GetUserType)(DWORD dwFormOfType, LPOLESTR* pszUserType) = 0;
    STDMETHOD(SetExtent)(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    STDMETHOD(GetExtent)(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    STDMETHOD(Advise)(IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
    STDMETHOD(Unadvise)(DWORD dwConnection) = 0;
    STDMETHOD(EnumAdvise)(IEnumSTATDATA** ppenumAdvise) = 0;
    STDMETHOD(GetMiscStatus)(DWORD dwAspect, DWORD* pdwStatus) = 0;
    STDMETHOD(SetColorScheme)(LOGPALETTE* pLogpal) = 0;
};

struct IOleWindow : public IUnknown {
    STDMETHOD(GetWindow)(HWND* phwnd) = 0;
    STDMETHOD(ContextSensitiveHelp)(BOOL fEnterMode) = 0;
};

struct IOleInPlaceObject : public IOleWindow {
    STDMETHOD(InPlaceDeactivate)() = 0;
    STDMETHOD(UIDeactivate)() = 0;
    STDMETHOD(SetObjectRects)(LPCRECT lprcPosRect, LPCRECT lprcClipRect) = 0;
    STDMETHOD(ReactivateAndUndo)() = 0;
};

struct IOleInPlaceUIWindow;

struct IOleInPlaceActiveObject : public IOleWindow {
    STDMETHOD(TranslateAccelerator)(LPMSG lpmsg) = 0;
    STDMETHOD(OnFrameWindowActivate)(BOOL fActivate) = 0;
    STDMETHOD(OnDocWindowActivate)(BOOL fActivate) = 0;
    STDMETHOD(ResizeBorder)(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) = 0;
    STDMETHOD(EnableModeless)(BOOL fEnable) = 0;
};

struct IOleInPlaceUIWindow : public IOleWindow {
    STDMETHOD(GetBorder)(LPRECT lprectBorder) = 0;
    STDMETHOD(RequestBorderSpace)(LPCBORDERWIDTHS pborderwidths) = 0;
    STDMETHOD(SetBorderSpace)(LPCBORDERWIDTHS pborderwidths) = 0;
    STDMETHOD(SetActiveObject)(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR pszObjName) = 0;
};

struct IOleInPlaceFrame : public IOleInPlaceUIWindow {
    STDMETHOD(InsertMenus)(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) = 0;
    STDMETHOD(SetMenu)(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) = 0;
    STDMETHOD(RemoveMenus)(HMENU hmenuShared) = 0;
    STDMETHOD(SetStatusText)(LPCOLESTR pszStatusText) = 0;
    STDMETHOD(EnableModeless)(BOOL fEnable) = 0;
    STDMETHOD(TranslateAccelerator)(LPMSG lpmsg, WORD wID) = 0;
};

struct IOleInPlaceSite : public IOleWindow {
    STDMETHOD(CanInPlaceActivate)() = 0;
    STDMETHOD(OnInPlaceActivate)() = 0;
    STDMETHOD(OnUIActivate)() = 0;
    STDMETHOD(GetWindowContext)(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) = 0;
    STDMETHOD(Scroll)(SIZE scrollExtant) = 0;
    STDMETHOD(OnUIDeactivate)(BOOL fUndoable) = 0;
    STDMETHOD(OnInPlaceDeactivate)() = 0;
    STDMETHOD(DiscardUndoState)() = 0;
    STDMETHOD(DeactivateAndUndo)() = 0;
    STDMETHOD(OnPosRectChange)(LPCRECT lprcPosRect) = 0;
};

struct IOleControl : public IUnknown {
    STDMETHOD(GetControlInfo)(CONTROLINFO* pCI) = 0;
    STDMETHOD(OnMnemonic)(LPMSG pMsg) = 0;
    STDMETHOD(OnAmbientPropertyChange)(DISPID dispID) = 0;
    STDMETHOD(FreezeEvents)(BOOL bFreeze) = 0;
};

EXTERN_C QELV_PLATFORM_API const IID IID_IOleObject;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleClientSite;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleWindow;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleInPlaceObject;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleInPlaceActiveObject;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleInPlaceUIWindow;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleInPlaceFrame;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleInPlaceSite;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleControl;
EXTERN_C QELV_PLATFORM_API const IID IID_IOleContainer;
EXTERN_C QELV_PLATFORM_API const IID IID_IDataObject;
