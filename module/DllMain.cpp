// The Windows loader's entry routine. Nothing needs setting up per process (the
// module finds its own handle when it needs it); per-thread notifications are
// turned off since the module keeps no per-thread state.
#ifdef _WIN32
#include "server/Platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif
