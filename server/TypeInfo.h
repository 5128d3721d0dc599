// The component's type library, loaded once per process from the module that
// carries it (resource 1), and the type descriptions served to dispatch callers.
#pragma once

#include "server/Platform.h"

namespace qelv {

// GetComponentTypeLib
//   Returns the module's type library, AddRef'ed.
//   [out] lib   the library
//   RETURNS S_OK, or the status of the module lookup or of LoadTypeLibEx.
HRESULT GetComponentTypeLib(ITypeLib** lib);

// GetComponentTypeInfo
//   Returns the description of one interface or class of the library.
//   [in]  guid        interface, dispinterface or class identifier
//   [out] info        the description as GetTypeInfoOfGuid gives it (for a dual
//                     interface its dispatch view), AddRef'ed
//   [out] vtableView  optional: for a dual interface the description of its
//                     vtable side, which dispatch calls are served from
//   RETURNS S_OK, TYPE_E_ELEMENTNOTFOUND, or a loading failure.
HRESULT GetComponentTypeInfo(REFGUID guid, ITypeInfo** info, ITypeInfo** vtableView = nullptr);

}  // namespace qelv
