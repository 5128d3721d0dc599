// sonalter-curve: builds a curve from points in the graphing control, exactly
// as the control computes it for GetLineArray, and prints the line array as
// CSV, so that envelopes and gain curves for Envelope, FFTFilter and Equalizer
// can be made without a window; with --png it draws the control as a picture.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "PngRender.h"
#include "display/SonalterDisplay2.h"

namespace {

constexpr const char* kUsage = R"(Usage: sonalter-curve [options] [FILE]

Puts points into the graphing control and prints the curve it gives: the
control's line array, LineArraySize values of the curve at the evenly spaced
positions xmin + i * (xmax - xmin) / size, i = 0 .. size - 1.

The points are read from FILE, or from standard input when FILE is absent or
"-": pairs x,y separated by commas, semicolons or white space, in any order.
Empty lines and text after '#' are ignored, and a first line without numbers
is taken as a header. As in the control, the points are sorted by x, clamped
into the scale ranges, and the first and last points are pinned to xmin and
xmax; fewer than two points give the two points (xmin, 0) and (xmax, 0).

Options:
  -t, --type TYPE        curve shape: none (straight segments), one (rounded
                         corners, the default) or two (straight segments
                         smoothed by a low-pass run both ways); or 0, 1, 2
  -s, --steepness N      SplineSteepnes, 1 .. 100 (default 32): samples per
                         rounded corner, or the smoothing's cutoff in cycles
                         over twice the array
  -n, --size N           LineArraySize, the number of values (default 1024)
      --xmin X, --xmax X the X scale (default 0 and 22050)
      --ymin Y, --ymax Y the Y scale (default -20 and 20)
      --points           print the points as the control keeps them instead
      --png OUT.png      draw the control with these points and settings into
                         OUT.png instead of printing (192 x 192 pixels unless
                         --size WxH gives the size, e.g. --size 400x240; a
                         size with an 'x' is the picture's, a plain number
                         the LineArraySize)
      --log              logarithmic X scale
      --border STYLE     none, single, lowered or raised (default none)
      --no-grid, --no-xscale, --no-yscale
                         hide the grid or a scale
  -h, --help             print this help and exit

Output (standard output):
  index,x,value
  0,0,0
  1,21.533203,0.019530...
Values are printed with 9 significant digits, which give the 32-bit floats
back exactly.

Exit status: 0 printed; 1 the control refused a setting; 2 bad options or input.
)";

struct Options {
    long type = 1;
    long steepness = 32;
    long size = 1024;
    double xMin = 0.0, xMax = 22050.0, yMin = -20.0, yMax = 20.0;
    bool points = false;
    std::string file = "-";
    std::string png;
    long width = 192, height = 192;
    bool log = false, grid = true, xScale = true, yScale = true;
    long border = 0;
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "sonalter-curve: error: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'sonalter-curve --help'.\n");
    std::exit(2);
}

bool ParseDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

bool ParseLong(const std::string& text, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

double FiniteFloat(const std::string& name, const std::string& text) {
    double value = 0.0;
    if (!ParseDouble(text, value) || !std::isfinite(value) || std::fabs(value) > 3.4e38) {
        Fail(name + " needs a finite number, not '" + text + "'");
    }
    return value;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string inlineValue;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg.erase(arg.find('='));
            hasInline = true;
        }
        auto value = [&](const char* name) -> std::string {
            if (hasInline) return inlineValue;
            if (i + 1 >= argc) Fail(std::string("option ") + name + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "-t" || arg == "--type") {
            const std::string v = value("--type");
            if (v == "none" || v == "0") {
                o.type = 0;
            } else if (v == "one" || v == "1") {
                o.type = 1;
            } else if (v == "two" || v == "2") {
                o.type = 2;
            } else {
                Fail("--type needs none, one or two, not '" + v + "'");
            }
        } else if (arg == "-s" || arg == "--steepness") {
            const std::string v = value("--steepness");
            if (!ParseLong(v, o.steepness) || o.steepness < 1 || o.steepness > 100) {
                Fail("--steepness needs a whole number from 1 to 100, not '" + v + "'");
            }
        } else if (arg == "-n" || arg == "--size") {
            const std::string v = value("--size");
            const std::size_t cross = v.find('x');
            if (cross != std::string::npos) {
                if (!ParseLong(v.substr(0, cross), o.width) || !ParseLong(v.substr(cross + 1), o.height) ||
                    o.width < 1 || o.height < 1 || o.width > 16384 || o.height > 16384) {
                    Fail("--size needs WxH with each 1 to 16384, not '" + v + "'");
                }
                continue;
            }
            if (!ParseLong(v, o.size) || o.size < 1 || o.size > 100000000) {
                Fail("--size needs a whole number from 1 to 100000000, not '" + v + "'");
            }
        } else if (arg == "--xmin") {
            o.xMin = FiniteFloat("--xmin", value("--xmin"));
        } else if (arg == "--xmax") {
            o.xMax = FiniteFloat("--xmax", value("--xmax"));
        } else if (arg == "--ymin") {
            o.yMin = FiniteFloat("--ymin", value("--ymin"));
        } else if (arg == "--ymax") {
            o.yMax = FiniteFloat("--ymax", value("--ymax"));
        } else if (arg == "--points") {
            o.points = true;
        } else if (arg == "--png") {
            o.png = value("--png");
        } else if (arg == "--log") {
            o.log = true;
        } else if (arg == "--no-grid") {
            o.grid = false;
        } else if (arg == "--no-xscale") {
            o.xScale = false;
        } else if (arg == "--no-yscale") {
            o.yScale = false;
        } else if (arg == "--border") {
            const std::string v = value("--border");
            static const char* const kStyles[] = {"none", "single", "lowered", "raised"};
            o.border = -1;
            for (long k = 0; k < 4; ++k) {
                if (v == kStyles[k]) o.border = k;
            }
            if (o.border < 0) Fail("--border needs none, single, lowered or raised, not '" + v + "'");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-" && !std::isdigit(static_cast<unsigned char>(arg[1]))) {
            Fail("unknown option '" + arg + "'");
        } else {
            if (haveFile) Fail("more than one input file given");
            o.file = arg;
            haveFile = true;
        }
    }
    if (!(static_cast<float>(o.xMin) < static_cast<float>(o.xMax))) Fail("--xmin must be below --xmax");
    if (!(static_cast<float>(o.yMin) < static_cast<float>(o.yMax))) Fail("--ymin must be below --ymax");
    return o;
}

std::vector<float> ReadPoints(std::istream& in) {
    std::vector<float> values;
    std::string text;
    int lineNo = 0;
    bool sawContent = false;
    while (std::getline(in, text)) {
        ++lineNo;
        const std::size_t hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        for (char& c : text) {
            if (c == ',' || c == ';' || c == '\t' || c == '\r') c = ' ';
        }
        std::vector<double> numbers;
        std::size_t pos = 0;
        bool bad = false;
        std::string badToken;
        while (pos < text.size()) {
            const std::size_t start = text.find_first_not_of(' ', pos);
            if (start == std::string::npos) break;
            const std::size_t end = text.find(' ', start);
            const std::string token = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            double v = 0.0;
            if (!ParseDouble(token, v)) {
                bad = true;
                badToken = token;
                break;
            }
            numbers.push_back(v);
            pos = end == std::string::npos ? text.size() : end;
        }
        if (bad) {
            if (!sawContent && text.find_first_of("0123456789") == std::string::npos) {
                sawContent = true;
                continue;
            }
            Fail("line " + std::to_string(lineNo) + ": '" + badToken + "' is not a number");
        }
        if (numbers.empty()) continue;
        sawContent = true;
        if (numbers.size() % 2 != 0) {
            Fail("line " + std::to_string(lineNo) + ": expected x,y pairs, got " + std::to_string(numbers.size()) +
                 " number(s)");
        }
        for (double v : numbers) {
            if (!std::isfinite(v) || std::fabs(v) > 3.4e38) {
                Fail("line " + std::to_string(lineNo) + ": coordinates must be finite 32-bit float values");
            }
            values.push_back(static_cast<float>(v));
        }
    }
    return values;
}

// Releases the control on every way out.
struct ControlHolder {
    qelv::CSonalterDisplay2* control = qelv::CSonalterDisplay2::Create();
    ~ControlHolder() {
        if (control) control->Release();
    }
};

void Check(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return;
    std::fprintf(stderr, "sonalter-curve: the control refused %s (status 0x%08lX)\n", what,
                 static_cast<unsigned long>(static_cast<ULONG>(hr)));
    std::exit(1);
}

void PrintFloat(float value) { std::printf("%.9g", static_cast<double>(value)); }

}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    std::vector<float> points;
    if (o.file == "-") {
        points = ReadPoints(std::cin);
    } else {
        std::ifstream in(o.file);
        if (!in) Fail("cannot read '" + o.file + "'");
        points = ReadPoints(in);
    }

    ControlHolder holder;
    qelv::CSonalterDisplay2* control = holder.control;
    if (!control) {
        std::fprintf(stderr, "sonalter-curve: out of memory\n");
        return 1;
    }
    // Limits in an order that every valid pair accepts: widen first, then narrow.
    const float xMin = static_cast<float>(o.xMin), xMax = static_cast<float>(o.xMax);
    const float yMin = static_cast<float>(o.yMin), yMax = static_cast<float>(o.yMax);
    if (xMin < control->ScaleXMax) {
        Check(control->put_ScaleXMin(xMin), "--xmin");
        Check(control->put_ScaleXMax(xMax), "--xmax");
    } else {
        Check(control->put_ScaleXMax(xMax), "--xmax");
        Check(control->put_ScaleXMin(xMin), "--xmin");
    }
    if (yMin < control->ScaleYMax) {
        Check(control->put_ScaleYMin(yMin), "--ymin");
        Check(control->put_ScaleYMax(yMax), "--ymax");
    } else {
        Check(control->put_ScaleYMax(yMax), "--ymax");
        Check(control->put_ScaleYMin(yMin), "--ymin");
    }
    Check(control->put_SplineType(static_cast<SplineTypeConstants>(o.type)), "--type");
    Check(control->put_SplineSteepnes(o.steepness), "--steepness");
    Check(control->put_LineArraySize(o.size), "--size");

    SAFEARRAY* input = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(points.size()));
    if (!input) {
        std::fprintf(stderr, "sonalter-curve: out of memory\n");
        return 1;
    }
    void* data = nullptr;
    SafeArrayAccessData(input, &data);
    if (!points.empty()) std::memcpy(data, points.data(), points.size() * sizeof(float));
    SafeArrayUnaccessData(input);
    const HRESULT set = control->SetPointArray(&input);
    SafeArrayDestroy(input);
    Check(set, "the points");

    if (!o.png.empty()) {
        Check(control->put_LogScale(o.log ? VARIANT_TRUE : VARIANT_FALSE), "--log");
        Check(control->put_GridVisible(o.grid ? VARIANT_TRUE : VARIANT_FALSE), "--no-grid");
        Check(control->put_ScaleXVisible(o.xScale ? VARIANT_TRUE : VARIANT_FALSE), "--no-xscale");
        Check(control->put_ScaleYVisible(o.yScale ? VARIANT_TRUE : VARIANT_FALSE), "--no-yscale");
        Check(control->put_BorderStyle(static_cast<BorderTypeConstants>(o.border)), "--border");
        const std::string error =
            curve::RenderPng(control, static_cast<int>(o.width), static_cast<int>(o.height), o.png);
        if (!error.empty()) {
            std::fprintf(stderr, "sonalter-curve: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    SAFEARRAY* result = nullptr;
    Check(o.points ? control->GetPointArray(&result) : control->GetLineArray(&result), "the array");
    LONG upper = -1;
    SafeArrayGetUBound(result, 1, &upper);
    const float* values = nullptr;
    SafeArrayAccessData(result, reinterpret_cast<void**>(const_cast<float**>(&values)));
    if (o.points) {
        std::printf("x,y\n");
        for (LONG k = 0; k + 1 <= upper; k += 2) {
            PrintFloat(values[k]);
            std::printf(",");
            PrintFloat(values[k + 1]);
            std::printf("\n");
        }
    } else {
        std::printf("index,x,value\n");
        for (LONG i = 0; i <= upper; ++i) {
            const double x = static_cast<double>(xMin) + static_cast<double>(i) * (static_cast<double>(xMax) - xMin) /
                                                             o.size;
            std::printf("%ld,", static_cast<long>(i));
            PrintFloat(static_cast<float>(x));
            std::printf(",");
            PrintFloat(values[i]);
            std::printf("\n");
        }
    }
    SafeArrayUnaccessData(result);
    SafeArrayDestroy(result);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
