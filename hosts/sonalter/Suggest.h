// Suggestions for mistyped names: the closest known names by edit distance.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonalter {

// ClosestNames
//   [in] wanted  what the user typed
//   [in] names   the names it may have meant
//   [in] limit   at most this many suggestions
//   RETURNS the closest names, best first: names within a small edit distance
//   (letter case ignored, a swap of two neighbours counts once) and names that
//   contain what was typed ("norm" finds Normalize). Empty when nothing is close.
std::vector<std::string> ClosestNames(std::string_view wanted, const std::vector<std::string>& names,
                                      size_t limit = 3);

// EditDistance
//   RETURNS the optimal-string-alignment distance between the lower-case forms.
size_t EditDistance(std::string_view a, std::string_view b);

// JoinAlternatives
//   RETURNS "A", "A or B", "A, B or C".
std::string JoinAlternatives(const std::vector<std::string>& names);

}  // namespace sonalter
