// IUnknown and IClassFactory, the two interfaces every component object starts from.
#pragma once

#include "winerror.h"

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;

EXTERN_C QELV_PLATFORM_API const GUID GUID_NULL;
EXTERN_C QELV_PLATFORM_API const IID IID_NULL;
EXTERN_C QELV_PLATFORM_API const CLSID CLSID_NULL;
EXTERN_C QELV_PLATFORM_API const IID IID_IUnknown;
EXTERN_C QELV_PLATFORM_API const IID IID_IClassFactory;
