// The cursor the control shows over a point and while dragging one.
#pragma once

#include "server/Platform.h"

namespace qelv {

// A 32 x 32 two-colour cursor, a hand pointing up with its fingertip at the hot
// spot (5, 1); nullptr when the platform cannot make it (the control then keeps
// the cursor it has).
HCURSOR CreatePointCursor();

}  // namespace qelv
