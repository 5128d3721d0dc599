// A shared object for the module tests: one export, and resources of its own (TestModule.rc).
#include <qelvsonalter2/platform.h>

EXTERN_C __attribute__((visibility("default"))) int QelvTestModuleAnswer() {
    return 42;
}

// Not exported: must stay invisible to GetProcAddress.
EXTERN_C int QelvTestModuleHidden() {
    return 7;
}
