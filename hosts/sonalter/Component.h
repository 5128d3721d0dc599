// The transform object driven late-bound, as a scripting host drives it: every
// call goes through IDispatch::Invoke with the member's DISPID from the type
// library, and a failure is turned into a message that keeps everything the
// component said (its description, LastErrorNum and the status).
#pragma once

#include "Activation.h"
#include "ComPtr.h"
#include "Members.h"

#include <string>
#include <string_view>
#include <vector>

namespace sonalter {

class Component {
public:
    // Reads the member description of an activated object; throws Failure.
    explicit Component(ActivatedObject activated);
    // Another object of the same class: takes the description already read.
    Component(ActivatedObject activated, const MemberTable& members);

    IDispatch* Object() const { return object_.get(); }
    const MemberTable& Members() const { return members_; }
    const std::string& Route() const { return route_; }

    // Call
    //   Invokes a method with DISPATCH_METHOD.
    //   [in,out] args  one per parameter of the method, in declared order (they
    //                  are handed to Invoke in reverse order); by-reference arrays
    //                  come back changed or replaced
    //   RETURNS the [out, retval] value (VT_EMPTY for none).
    //   Throws Failure: "<Method> is not available in this version" for E_NOTIMPL;
    //   for DISP_E_EXCEPTION the component's description, LastErrorNum with its
    //   constant's name and the status in hex; for a rejected argument its name.
    Variant Call(const Member& method, std::vector<VARIANTARG>& args);

    // Get / Put
    //   Reads or writes a property by name (DISPATCH_PROPERTYGET / _PROPERTYPUT
    //   with the DISPID_PROPERTYPUT named argument). Throws Failure.
    Variant Get(std::string_view property);
    void Put(std::string_view property, const VARIANT& value);

    // Cancel
    //   Calls CancelTransform; meant for the progress handler.
    //   RETURNS false when the component has no such method or the call failed.
    bool Cancel();

    // LastError
    //   RETURNS LastErrorNum as "-20 INVALIDPARAM", or "" when it cannot be read.
    std::string LastError();

private:
    const Member& Property(std::string_view name) const;

    ComPtr<IDispatch> object_;
    std::string route_;
    MemberTable members_;
};

}  // namespace sonalter
