#include "Options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace draw {

namespace {

constexpr const char* kUsage = R"(Usage: sonalter-draw [options]

Opens a window holding the graphing control, so that a curve can be drawn with
the mouse for one of the transforms, and saves it for the transform tool.

Drawing (left mouse button):
  press on empty space   adds a point there and drags it
  press on a point       drags it; the first and last points move only up and down
  drag an inner point more than 10 pixels outside the window
                         removes it
  double click a point   puts it back to the preset's neutral level
Keys:
  S                      saves every file given below (points, state, line array)
  Escape, or closing the window
                         saves them too, then quits (and --apply runs)

Options:
  --preset NAME          the axes for a transform (default curve):
%s  --rate HZ              the sampling rate of the audio the curve is for; the
                         frequency presets end at half of it (default 44100)
  --points FILE          the points as x,y pairs (the format of sonalter-curve):
                         read at start when FILE exists, written on save
  --state FILE           the control's own property stream (scales, colours,
                         captions, spline): read at start when FILE exists,
                         written on save
  --out FILE             the line array on save, one value a line (the list
                         format sonalter reads with @FILE)
  --apply IN.wav OUT.wav after the window closes, runs the transform tool found
                         beside this program on IN.wav with the saved curve and
                         writes OUT.wav (needs --out; the equalizer preset also
                         writes OUT-FILE.gains and OUT-FILE.freqs beside --out)
  --size WxH             the control's size in pixels (default 480x320)
  --no-grid, --no-xscale, --no-yscale
                         hide the grid or a scale (over what --state holds);
                         without scales the plot fills the window
  --snapshot FILE.png    on quitting, writes the window's picture as PNG
  --log-events           prints every event of the control on a line:
                         MouseDown X Y, MouseMove X Y, MouseUp X Y,
                         MouseClick X Y, MouseDblClick, ResetPoint INDEX
  -h, --help             prints this help

Files are written to a temporary beside them, then renamed over them.

Examples:
  sonalter-draw --preset envelope --points fade.csv --out fade.txt
  sonalter-draw --preset fftfilter --out eq.txt --apply voice.wav bright.wav
  sonalter-curve --png curve.png --size 480x320 fade.csv   # the same picture, no window

Exit status: 0 saved and done; 1 a file or the control failed; 2 bad options.
)";

const std::vector<Preset> kPresets = {
    {"curve", nullptr, false, 0.0f, 22050.0f, -20.0f, 20.0f, false, "Hz", "dB", 1024, 0.0f,
     "the control's own axes: 0..22050 Hz, -20..20 dB, 1024 values"},
    {"envelope", "Envelope", false, 0.0f, 100.0f, 0.0f, 2.0f, false, "%", "gain", 1024, 1.0f,
     "Envelope: gain factors (1 keeps the level) over the file's length in %, 1024 values"},
    {"fftfilter", "FFTFilter", false, 0.0f, -1.0f, 0.0f, 2.0f, true, "Hz", "gain", 2048, 1.0f,
     "FFTFilter: amplitude factor per frequency up to half the rate, 2048 values (a power of two with an odd exponent)"},
    {"equalizer", "Equalizer", true, 0.0f, -1.0f, -20.0f, 20.0f, true, "Hz", "dB", 512, 0.0f,
     "Equalizer: the points themselves, gain in dB at each frequency up to half the rate"},
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "sonalter-draw: error: %s\nTry 'sonalter-draw --help'.\n", message.c_str());
    std::exit(2);
}

bool ParseLong(const std::string& text, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

void PrintUsage() {
    std::string presets;
    for (const Preset& p : kPresets) {
        presets += std::string("                           ") + p.name + ": " + p.summary + "\n";
    }
    std::printf(kUsage, presets.c_str());
}

}  // namespace

const std::vector<Preset>& Presets() { return kPresets; }

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.preset = &kPresets[0];
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg.erase(arg.find('='));
            hasInline = true;
        }
        auto value = [&]() -> std::string {
            if (hasInline) return inlineValue;
            if (i + 1 >= argc) Fail("option " + arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            PrintUsage();
            std::exit(0);
        } else if (arg == "--preset") {
            const std::string name = value();
            o.preset = nullptr;
            for (const Preset& p : kPresets) {
                if (name == p.name) o.preset = &p;
            }
            if (!o.preset) Fail("--preset needs curve, envelope, fftfilter or equalizer, not '" + name + "'");
        } else if (arg == "--rate") {
            const std::string v = value();
            if (!ParseLong(v, o.rate) || o.rate < 2 || o.rate > 1000000) {
                Fail("--rate needs a whole number of hertz from 2 to 1000000, not '" + v + "'");
            }
        } else if (arg == "--size") {
            const std::string v = value();
            const size_t cross = v.find('x');
            if (cross == std::string::npos || !ParseLong(v.substr(0, cross), o.width) ||
                !ParseLong(v.substr(cross + 1), o.height) || o.width < 16 || o.height < 16 || o.width > 8192 ||
                o.height > 8192) {
                Fail("--size needs WxH with each 16 to 8192, not '" + v + "'");
            }
        } else if (arg == "--points") {
            o.points = value();
        } else if (arg == "--state") {
            o.state = value();
        } else if (arg == "--out") {
            o.out = value();
        } else if (arg == "--snapshot") {
            o.snapshot = value();
        } else if (arg == "--no-grid") {
            o.noGrid = true;
        } else if (arg == "--no-xscale") {
            o.noXScale = true;
        } else if (arg == "--no-yscale") {
            o.noYScale = true;
        } else if (arg == "--log-events") {
            o.logEvents = true;
        } else if (arg == "--apply") {
            if (hasInline || i + 2 >= argc) Fail("--apply needs two files: IN.wav OUT.wav");
            o.applyIn = argv[++i];
            o.applyOut = argv[++i];
        } else {
            Fail("unknown option or argument '" + arg + "'");
        }
    }
    if (!o.applyIn.empty()) {
        if (!o.preset->method) Fail("--apply needs a --preset naming a transform (envelope, fftfilter, equalizer)");
        if (o.out.empty()) Fail("--apply needs --out FILE for the curve it hands to the transform");
    }
    return o;
}

}  // namespace draw
