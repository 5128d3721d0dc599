// Connection points (events), class information and their enumerators.
#pragma once

#include "oaidl.h"

typedef struct tagCONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
} CONNECTDATA, *LPCONNECTDATA;

struct IConnectionPointContainer;

struct IEnumConnections : public IUnknown {
    STDMETHOD(Next)(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnections** ppEnum) = 0;
};

struct IConnectionPoint : public IUnknown {
    STDMETHOD(GetConnectionInterface)(IID* pIID) = 0;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) = 0;
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    STDMETHOD(Unadvise)(DWORD dwCookie) = 0;
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) = 0;
};

struct IEnumConnectionPoints : public IUnknown {
    STDMETHOD(Next)(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnectionPoints** ppEnum) = 0;
};

struct IConnectionPointContainer : public IUnknown {
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) = 0;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) = 0;
};

struct IProvideClassInfo : public IUnknown {
    STDMETHOD(GetClassInfo)(ITypeInfo** ppTI) = 0;
};

#define GUIDKIND_DEFAULT_SOURCE_DISP_IID 1

struct IProvideClassInfo2 : public IProvideClassInfo {
    STDMETHOD(GetGUID)(DWORD dwGuidKind, GUID* pGUID) = 0;
};

EXTERN_C QELV_PLATFORM_API const IID IID_IEnumConnections;
EXTERN_C QELV_PLATFORM_API const IID IID_IConnectionPoint;
EXTERN_C QELV_PLATFORM_API const IID IID_IEnumConnectionPoints;
EXTERN_C QELV_PLATFORM_API const IID IID_IConnectionPointContainer;
EXTERN_C QELV_PLATFORM_API const IID IID_IProvideClassInfo;
EXTERN_C QELV_PLATFORM_API const IID IID_IProvideClassInfo2;

// Colours and fonts of controls.
typedef DWORD OLE_COLOR;

struct IFontDisp : public IDispatch {};

EXTERN_C QELV_PLATFORM_API const IID IID_IFontDisp;
