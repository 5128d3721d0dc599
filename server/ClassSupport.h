// The parts of a class's identity that every class of the module answers the
// same way, given what differs: its one connection point and event interface,
// its default source interface, and the safety options it keeps.
#pragma once

#include "server/Platform.h"

namespace qelv {

// IConnectionPointContainer::FindConnectionPoint for a class with one
// connection point serving `events`. Returns S_OK with a reference,
// CONNECT_E_NOCONNECTION for another interface, E_POINTER for a null out pointer.
HRESULT FindOnlyConnectionPoint(IConnectionPoint* point, REFIID events, REFIID riid, IConnectionPoint** ppCP);

// IProvideClassInfo2::GetGUID: the default source interface for
// GUIDKIND_DEFAULT_SOURCE_DISP_IID, E_INVALIDARG (and GUID_NULL) for any other kind.
HRESULT DefaultSourceGuid(REFIID source, DWORD kind, GUID* guid);

// IObjectSafety for an object (`self`) that supports the two options, safe for
// untrusted callers and safe for untrusted data, on every interface it has.
// GetSafetyOptions: E_NOINTERFACE (and zeros) for an interface it lacks.
// SetSafetyOptions: E_FAIL for a request naming any other option, E_NOINTERFACE
// for an interface it lacks; else updates *enabled from the mask.
HRESULT GetSafetyOptions(IUnknown* self, DWORD enabled, REFIID riid, DWORD* supported, DWORD* enabledOut);
HRESULT SetSafetyOptions(IUnknown* self, DWORD* enabled, REFIID riid, DWORD mask, DWORD options);

}  // namespace qelv
