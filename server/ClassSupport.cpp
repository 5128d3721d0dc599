#include "server/ClassSupport.h"

namespace qelv {
namespace {

constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

bool Answers(IUnknown* self, REFIID riid) {
    IUnknown* probe = nullptr;
    if (FAILED(self->QueryInterface(riid, reinterpret_cast<void**>(&probe)))) return false;
    probe->Release();
    return true;
}

}  // namespace

HRESULT FindOnlyConnectionPoint(IConnectionPoint* point, REFIID events, REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (!IsEqualIID(riid, events)) return CONNECT_E_NOCONNECTION;
    *ppCP = point;
    point->AddRef();
    return S_OK;
}

HRESULT DefaultSourceGuid(REFIID source, DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = source;
    return S_OK;
}

HRESULT GetSafetyOptions(IUnknown* self, DWORD enabled, REFIID riid, DWORD* supported, DWORD* enabledOut) {
    if (!supported || !enabledOut) return E_POINTER;
    if (!Answers(self, riid)) {
        *supported = 0;
        *enabledOut = 0;
        return E_NOINTERFACE;
    }
    *supported = kSupportedSafety;
    *enabledOut = enabled;
    return S_OK;
}

HRESULT SetSafetyOptions(IUnknown* self, DWORD* enabled, REFIID riid, DWORD mask, DWORD options) {
    if (((mask | options) & ~kSupportedSafety) != 0) return E_FAIL;
    if (!Answers(self, riid)) return E_NOINTERFACE;
    *enabled = (*enabled & ~mask) | (options & mask);
    return S_OK;
}

}  // namespace qelv
