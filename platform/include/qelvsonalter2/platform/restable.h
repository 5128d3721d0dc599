// Resource tables of modules: the Linux stand-in for the resource section of a Windows
// module. The resource compiler (platform/tools/rcc.py) generates a source file holding one
// table and registering it from a static initializer; FindResourceW and LoadStringW then
// serve the resources of the module (shared object or executable) the table lives in.
//
// Private to generated code: component and host sources never call these names.
#pragma once

#include "winbase.h"

// One resource. Type and name are either an integer id (typeName / name NULL) or an
// upper-case NUL-terminated name, as Windows stores them.
typedef struct tagQELV_RESOURCE {
    const WCHAR* typeName;
    WORD typeId;
    const WCHAR* name;
    WORD nameId;
    WORD language;
    const void* data;
    DWORD size;
} QELV_RESOURCE;

// QelvRegisterModuleResources
// Adds a resource table to the module that contains addressInModule.
// PARAMS   addressInModule [in] any address inside the module (usually the table itself)
//          table           [in] count entries; must stay valid until unregistered
//          count           [in]
// NOTES    The module is keyed by its base address, which is what its HMODULE is. A module
//          may register several tables; lookups search them in registration order.
EXTERN_C QELV_PLATFORM_API void QelvRegisterModuleResources(const void* addressInModule, const QELV_RESOURCE* table,
                                                            size_t count);

// QelvUnregisterModuleResources
// Removes a table added by QelvRegisterModuleResources (called when the module unloads).
// PARAMS   addressInModule [in] the address given when registering
//          table           [in] the table given when registering
EXTERN_C QELV_PLATFORM_API void QelvUnregisterModuleResources(const void* addressInModule,
                                                              const QELV_RESOURCE* table);
