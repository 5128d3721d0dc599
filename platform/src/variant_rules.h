// Rules about VARIANT type tags shared by the variant and coercion services.
// Internal to the platform library (hidden like everything not exported).
#pragma once

#include <qelvsonalter2/platform.h>

namespace qelv_platform {

// True when vt may label a VARIANT: a base type that automation values use,
// optionally with VT_BYREF and/or VT_ARRAY. VT_EMPTY and VT_NULL take no
// modifier, and VT_VARIANT only exists by reference or as an array element.
bool IsValidVariantType(VARTYPE vt);

// Fills `view` with a by-value, non-owning copy of what `src` holds: `src`
// itself when it is not a reference, else the referenced value. A reference
// to a VARIANT is followed one level; that variant must not be a reference.
// Returns S_OK; E_INVALIDARG for a NULL reference or a nested reference;
// DISP_E_BADVARTYPE for a type that cannot be read through a reference.
HRESULT ViewByValue(const VARIANT* src, VARIANT* view);

// Size in bytes of a value of the scalar (non-pointer) type vt; 0 for any other type.
std::size_t ScalarSize(VARTYPE vt);

}  // namespace qelv_platform
