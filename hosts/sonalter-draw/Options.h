// The viewer's command line and the axis presets: what each transform expects
// of the curve the user draws.
#pragma once

#include <string>
#include <vector>

namespace draw {

// How one transform reads a drawn curve.
struct Preset {
    const char* name;
    const char* method;        // the transform method --apply runs
    bool usesPoints;           // the method takes the points (x and y lists), not the line array
    float xMin, xMax;          // xMax < 0: half the --rate
    float yMin, yMax;
    bool logScale;
    const char* xCaption;
    const char* yCaption;
    long lineArraySize;
    float neutral;             // the level that changes nothing; a double-clicked point returns to it
    const char* summary;
};

const std::vector<Preset>& Presets();

struct Options {
    const Preset* preset = nullptr;
    long rate = 44100;
    long width = 480, height = 320;
    std::string points, state, out, snapshot;
    std::string applyIn, applyOut;
    bool logEvents = false;
    bool noGrid = false, noXScale = false, noYScale = false;
};

// Parses argv; on --help prints the usage and exits 0, on a bad option prints
// the error and exits 2.
Options ParseOptions(int argc, char** argv);

}  // namespace draw
