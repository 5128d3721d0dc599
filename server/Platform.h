// The platform services the component is written against: the Windows SDK on
// Windows, the project's own stand-in on Linux. Component sources include this
// header (or the generated interface header, which does the same).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <objsafe.h>
#else
#include <qelvsonalter2/platform.h>
#endif
