// Internal links between the component-services files (guidstring.cpp,
// apartment.cpp, activation.cpp, typelibreg.cpp).
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>
#include <string_view>

namespace qelv::com {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::u16string GuidToString(const GUID& guid);

// Reads exactly the braced form above (either case of hex digits).
bool ParseGuid(std::u16string_view text, GUID& guid);

// True when the calling thread initialised the component services, or sits in
// the implicit multithreaded apartment because another thread entered it.
bool ThreadMayActivate();

// Unloads the in-process servers whose DllCanUnloadNow answers S_OK.
void FreeUnusedModules();

}  // namespace qelv::com
