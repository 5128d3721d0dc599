// A power spectrum drawn as a PNG: power in dB over a logarithmic frequency axis
// with labelled decades, drawn into an RGB image (text by FreeType with a font
// fontconfig finds) and written with libpng.
#pragma once

#include <string>
#include <vector>

namespace sonalter {

// WriteSpectrumPng
//   [in] path     the PNG file to write
//   [in] power    power in dB per bin (-infinity for an empty bin); bin k at k * binHz
//   [in] binHz    width of a bin in Hz
//   [in] title    a line drawn above the plot
//   Throws Failure when the file cannot be written or no font is found.
void WriteSpectrumPng(const std::string& path, const std::vector<float>& power, double binHz,
                      const std::string& title);

}  // namespace sonalter
