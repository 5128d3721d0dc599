// The module's lock count: live objects plus server locks. DllCanUnloadNow
// answers from it.
#pragma once

#include "server/Platform.h"

namespace qelv {

void ModuleLockAdd();
void ModuleLockRelease();
LONG ModuleLockCount();

// Raises the lock count for as long as an object lives.
class ModuleLockHolder {
public:
    ModuleLockHolder() { ModuleLockAdd(); }
    ~ModuleLockHolder() { ModuleLockRelease(); }
    ModuleLockHolder(const ModuleLockHolder&) = delete;
    ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

}  // namespace qelv
