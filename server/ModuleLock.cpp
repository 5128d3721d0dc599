#include "server/ModuleLock.h"

namespace qelv {
namespace {
LONG volatile g_lockCount = 0;
}

void ModuleLockAdd() { InterlockedIncrement(&g_lockCount); }
void ModuleLockRelease() { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

}  // namespace qelv
