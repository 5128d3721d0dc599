// What the binding knows of a class's dispatch interface: its members, their
// parameters and the kinds of value they pass, read from the type information.
#pragma once

#include <qelvsonalter2/platform.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace qelv::python {

// What the binding needs to know of a parameter's type.
enum class Kind { Float, Double, Long, Short, Bool, String, ShortArray, FloatArray, Other };

Kind KindOf(const TYPEDESC& t, ITypeInfo* info);
const char* KindName(Kind k);

struct Parameter {
    std::string name;
    Kind kind = Kind::Other;
    bool in = true, out = false, retval = false;
};

// The most parameters a member may have to be callable here (the widest
// member of the component has seven).
constexpr std::size_t kMaxArguments = 16;

struct Member {
    std::string name, doc;
    DISPID dispid = 0;
    int invkind = 0;  // INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT
    std::vector<Parameter> params;
    Kind result = Kind::Other;  // of a property get or a retval
    // Worked out once from params: the parameters a caller passes, in order,
    // whether there is a retval, and the one [in,out] parameter among the
    // inputs (-1 when there are none or several), which a call returns.
    std::vector<const Parameter*> inputs;
    bool hasRetval = false;
    int soleInOut = -1;
};

// What the binding knows of a class's dispatch interface, read from its type
// information once per class and shared by all its objects.
struct ClassMembers {
    std::vector<Member> list;
    DISPID cancelId = DISPID_UNKNOWN;     // CancelTransform, if any
    DISPID lastErrorId = DISPID_UNKNOWN;  // the LastErrorNum get, if any
};

// The members of the class of `object` (whose CLSID is `clsid`), read from its
// type information the first time an object of the class is made (reading
// them takes longer than making the object).
std::shared_ptr<const ClassMembers> MembersOf(REFCLSID clsid, IDispatch* object);

}  // namespace qelv::python
