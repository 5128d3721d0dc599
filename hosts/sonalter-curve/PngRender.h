// Renders the graphing control into a bitmap of its own and writes it as PNG.
#pragma once

#include <string>

#include "display/SonalterDisplay2.h"

namespace curve {

// Draws control into a width x height 32-bit bitmap through a memory device
// context and writes the pixels to path as an 8-bit RGB PNG. Returns an empty
// string, or the reason for failing.
std::string RenderPng(qelv::CSonalterDisplay2* control, int width, int height, const std::string& path);

}  // namespace curve
