// The hosts' interface holder, under this library's namespace.
#pragma once

#include "../common/ComPtr.h"

namespace controlsite {
using qelvhost::ComPtr;
}  // namespace controlsite
