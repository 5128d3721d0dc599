// Splitting the words after INPUT OUTPUT into method calls. The member
// description says how many arguments each method takes, so the word after them
// starts the next method; arguments may also be given by name (Amp=150).
#pragma once

#include "Members.h"

#include <optional>
#include <string>
#include <vector>

namespace sonalter {

struct Call {
    const Member* method = nullptr;
    // One entry per parameter of the method, in declared order: the text given
    // for it, or nothing for the current audio and for an omitted optional one.
    std::vector<std::optional<std::string>> texts;

    // "Fade(AmpLeft=100, AmpRight=30)"
    std::string Display() const;
};

// ParseChain
//   [in] members  the component's description
//   [in] words    the words after INPUT OUTPUT
//   RETURNS the calls in order; throws UsageError for an unknown method (with the
//   closest names), a property used as a method, a method the command line cannot
//   call, a missing or extra argument (naming the parameters), an unknown or
//   repeated parameter name.
std::vector<Call> ParseChain(const MemberTable& members, const std::vector<std::string>& words);

// Signature
//   RETURNS the command-line form of a method: "Fade AmpLeft AmpRight".
std::string Signature(const Member& method);

}  // namespace sonalter
