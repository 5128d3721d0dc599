// Message cracking helpers: the signed client coordinates of a mouse message.
#pragma once

#include "winuser.h"

#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
