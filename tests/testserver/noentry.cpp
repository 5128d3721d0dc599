// A loadable module without the in-process server entry points.
extern "C" __attribute__((visibility("default"))) int QelvTestNoEntryPoints() { return 7; }
