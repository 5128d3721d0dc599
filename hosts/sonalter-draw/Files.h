// The viewer's files: points as x,y pairs (the curve tool's format), the line
// array as one value a line (the format the transform tool reads with @FILE),
// the control's property stream as raw bytes, and the snapshot as PNG. Every
// file is written to a temporary beside it and renamed over it, so a reader
// never sees half a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace draw {

// Reads x,y pairs separated by commas, semicolons or white space; '#' starts a
// comment and a first line without digits is a header. Returns false with a
// message naming the line on bad input.
bool ReadPoints(const std::string& path, std::vector<float>& values, std::string& error);

bool ReadBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// Writes contents to path through a temporary in the same folder.
bool WriteAtomically(const std::string& path, const std::string& contents, std::string& error);

// "x,y" and one pair a line, with 9 significant digits (the floats exactly).
std::string FormatPoints(const std::vector<float>& pairs);
// One value a line, with 9 significant digits.
std::string FormatValues(const std::vector<float>& values);

// An 8-bit RGB PNG of top-down 32-bit pixels (blue in the low byte), stored
// without compression (the encoder needs no library on either platform).
std::string EncodePng(const uint32_t* pixels, int width, int height);

}  // namespace draw
