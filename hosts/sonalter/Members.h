// The component's members as its type library describes them: methods with
// their parameters, properties, help strings and units. The command line is
// built from this description alone, so a method works here as soon as the
// component has it.
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>
#include <string_view>
#include <vector>

namespace sonalter {

enum class ValueKind {
    None,         // no value (a method without result)
    SampleArray,  // SAFEARRAY(short): audio
    FloatArray,   // SAFEARRAY(float): a list of numbers
    Number,       // integer or floating point scalar
    Boolean,      // VARIANT_BOOL
    Enumeration,  // a named set of 32-bit constants
    Text,         // BSTR
    Unsupported,  // anything the command line cannot pass
};

struct EnumConstant {
    std::string name;
    LONG value = 0;
};

struct ValueType {
    ValueKind kind = ValueKind::None;
    VARTYPE vt = VT_EMPTY;  // scalar type values are coerced to (VT_I4 for enumerations)
    std::string name;       // "float", "long", "boolean", "sample array", an enumeration's name ...
    std::vector<EnumConstant> constants;
};

struct Parameter {
    std::string name;
    ValueType type;
    bool out = false;       // [out] or [in, out]: the callee may change it
    bool in = true;         // [in] or [in, out], or no direction given
    bool optional = false;  // [optional] or with a default value
    std::string unit;       // "percent", "dB", "ms", "Hz", "degrees" or ""

    // An [out] parameter without [in]: the host supplies the place and reports
    // what the method leaves there; the command line gives no value for it.
    bool OutputOnly() const { return out && !in; }
};

struct Member {
    std::string name;
    DISPID dispid = DISPID_UNKNOWN;
    std::string help;
    std::vector<Parameter> params;  // declared order, without the [out, retval] one
    ValueType result;               // the [out, retval] value, or the property's value
    std::string resultName;         // its declared name, when the description gives one
    std::string resultUnit;
    bool readable = false;  // properties: has a get
    bool writable = false;  // properties: has a put

    // Index of the parameter that receives the current audio (the first sample
    // array), or -1 when the method takes none.
    int CurrentArrayParam() const;
    // The parameters the command line supplies: all but the current audio and
    // the output-only ones.
    std::vector<const Parameter*> CommandLineParams() const;
    // Whether parameter index is one of those.
    bool TakesArgument(size_t index) const;
};

class MemberTable {
public:
    // Read
    //   Reads the member description of an object through IDispatch::GetTypeInfo.
    //   [in] object  the component's dispatch interface
    //   RETURNS the table; throws Failure when the object gives no usable description.
    static MemberTable Read(IDispatch* object);

    // FromLists
    //   A table from members described some other way (tests build them by hand).
    static MemberTable FromLists(std::vector<Member> methods, std::vector<Member> properties);

    const std::vector<Member>& Methods() const { return methods_; }
    const std::vector<Member>& Properties() const { return properties_; }
    const std::string& InterfaceName() const { return interfaceName_; }

    // FindMethod / FindProperty
    //   Looks a name up ignoring case, as automation binds names.
    //   RETURNS the member or nullptr.
    const Member* FindMethod(std::string_view name) const;
    const Member* FindProperty(std::string_view name) const;

    // Names of every method, or of every method and property, for suggestions.
    std::vector<std::string> MethodNames() const;
    std::vector<std::string> AllNames() const;

private:
    std::vector<Member> methods_;
    std::vector<Member> properties_;
    std::string interfaceName_;
};

// UnitOf
//   The unit of a parameter or property, for help texts and messages.
//   [in] name  the declared name, e.g. "dbGain", "DelayTime", "SweepRate"
//   [in] help  the member's help string
//   RETURNS "dB", "ms", "Hz", "percent", "degrees" or "".
//   NOTES A name with the prefix "n" (nTapDelay) is a count and has no unit.
//   The help string wins where it gives a unit for a word of the name
//   ("delay in ms" for DelayRate, "rate in Hz" for SweepRate); otherwise the name
//   decides: a "db" prefix is dB, a name ending in Time is ms, Frequency or Freq is
//   Hz, Phase is degrees, and Amp, Depth, Rate, Gain, Normalization or Percent is
//   percent.
std::string UnitOf(std::string_view name, std::string_view help);

// LimitsOf
//   The parts of a member's help string that bound one parameter: clauses
//   (split at ',', ';', '.' and brackets) that name the parameter and hold a
//   number or a bounding word ("to", "between", "at least", "at most", "above",
//   "below", "up to", "refuses", "must", "positive", "negative", "half"), and a
//   clause that is only a bound ("1 to half ArrayFrequency") right after one that
//   names the parameter.
//   [in] name  the parameter's declared name; matched ignoring case, as written
//              or with its words apart (SweepRate: "sweep rate"), and without a
//              "db" or "n" prefix when the whole name is not found
//   [in] help  the member's help string
//   RETURNS the clauses as written, trimmed, in order; none when nothing fits.
std::vector<std::string> LimitsOf(std::string_view name, std::string_view help);

}  // namespace sonalter
