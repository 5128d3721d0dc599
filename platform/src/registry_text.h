// The registry's text form: an indented key tree with one value per line.
// The format is described in registry_text.cpp and docs/REGISTRY.md.
#pragma once

#include "registry_tree.h"

#include <string>
#include <string_view>

namespace qelv::registry {

// Writes the whole tree as text, header and all.
std::string FormatTree(const Tree& tree);

// Reads text written by FormatTree (or edited by hand) into an empty tree.
// On failure returns false with the 1-based line and a one-line description.
// Empty text, or text holding only comments, is an empty registry.
bool ParseTree(std::string_view text, Tree& tree, std::size_t& errorLine, std::string& errorText);

}  // namespace qelv::registry
