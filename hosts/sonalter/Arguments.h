// Turning argument text into values of the parameter's declared type: numbers
// through VariantChangeType from a string (automation's own coercion), booleans
// from the usual words, float lists from a comma list or a file, a second sample
// array from another audio file.
#pragma once

#include "Chain.h"
#include "ComPtr.h"
#include "SafeArrays.h"

#include <string>
#include <vector>

namespace sonalter {

struct Argument {
    bool current = false;   // the parameter that receives the current audio
    bool omitted = false;   // an optional parameter left out
    bool output = false;    // an output-only parameter: the host gives the place
    Variant scalar;         // numbers, booleans, enumerations, text: passed by value
    std::vector<float> floats;  // a float array's values
    ArrayOwner audio;           // another audio file's samples
    int channels = 0;           // ... its channel count
    int rate = 0;               // ... and rate
    std::string path;           // the file a float list or audio came from
};

struct PreparedCall {
    const Call* call = nullptr;
    std::vector<Argument> args;  // one per parameter of the method, declared order
};

// PrepareCall
//   Converts every argument of a call.
//   RETURNS the values; throws UsageError for a value that does not fit its
//   parameter (the message names the method, the parameter, the value, the type
//   and the unit) and Failure for a file that cannot be read.
PreparedCall PrepareCall(const Call& call);

// CoerceScalar
//   Converts one text to a scalar parameter's type.
//   [in] text   as typed; a unit matching the parameter may follow the number
//   [in] param  the parameter (its type and unit)
//   [in] owner  the method or option the value is for, for the message
//   RETURNS the value; throws UsageError.
Variant CoerceScalar(const std::string& text, const Parameter& param, const std::string& owner);

// ParseBoolean
//   RETURNS true/false for true/false, yes/no, on/off, 1/0, -1 (any case);
//   throws UsageError naming what for anything else.
bool ParseBoolean(const std::string& text, const std::string& what);

// ParseFloatList
//   Reads "1,2.5,3" or "@FILE" (one value per line or CSV; a first row that is
//   not numeric is a header, and then only the last column is read).
//   RETURNS the values; throws UsageError for a bad value (file:line named) and
//   Failure for an unreadable file.
std::vector<float> ParseFloatList(const std::string& text, const std::string& what);

}  // namespace sonalter
