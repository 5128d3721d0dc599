// Creating the transform object, as any automation host does: by program
// identifier when the component is registered, otherwise from the module
// installed beside this tool.
#pragma once

#include "ComPtr.h"

#include <string>

namespace sonalter {

// The program identifier the component registers its transform class under.
inline constexpr char kProgramId[] = "QelvSonalter2.Sonalter2";

struct ActivatedObject {
    ComPtr<IDispatch> object;
    std::string route;    // how it was created, for -v
    std::string warning;  // a registration that did not work, when the fallback did
};

// ExecutableDirectory
//   RETURNS the folder of this executable (from /proc/self/exe), or "." when
//   that cannot be read.
std::string ExecutableDirectory();

// ModuleBesideTool
//   RETURNS the module installed with this tool: <dir of this executable>/../lib/
//   qelvsonalter2/QelvSonalter2.so in the build tree and in most installations
//   (the installation's own lib folder is tried first).
std::string ModuleBesideTool();

// Joins a single-threaded apartment for the life of this value
// (CoInitializeEx / CoUninitialize). Throws Failure when that is refused.
class Apartment {
public:
    Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment();
};

// ActivateTransformObject
//   Creates the object, inside an Apartment: by program
//   identifier (CLSIDFromProgID, CoCreateInstance) when it is registered, else by
//   loading the module beside the tool (LoadLibraryW, DllGetClassObject,
//   IClassFactory::CreateInstance).
//   RETURNS the object's dispatch interface and the route taken; throws Failure
//   naming every route tried and its status when none gives an object.
//   NOTES A registration whose module cannot be loaded falls back to the module
//   beside the tool, so a stale registry entry does not stop a working build.
//   The loaded module stays loaded for the life of the process.
ActivatedObject ActivateTransformObject();

}  // namespace sonalter
