// The Linux stand-in for the Windows services the component and its hosts use.
// One header, as a host would include <windows.h> and <ole2.h> on Windows.
#pragma once

#include "platform/windef.h"
#include "platform/winerror.h"
#include "platform/winbase.h"
#include "platform/stringapiset.h"
#include "platform/winreg.h"
#include "platform/unknwn.h"
#include "platform/oaidl.h"
#include "platform/oleauto.h"
#include "platform/objbase.h"
#include "platform/ocidl.h"
#include "platform/objsafe.h"
#include "platform/objidl.h"
#include "platform/wingdi.h"
#include "platform/winuser.h"
#include "platform/windowsx.h"
#include "platform/qelvuser.h"
#include "platform/oleidl.h"
#include "platform/olectl.h"
