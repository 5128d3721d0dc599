// sonalter-fir: designs an equiripple linear-phase FIR filter from a band
// layout and prints its taps (and optionally its amplitude response),
// so that a filter can be designed and inspected without writing code.

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "transform/filters/FirDesigner.h"

namespace {

using qelv::dsp::CFirDesigner;

constexpr const char* kUsage = R"(Usage: sonalter-fir [options] [FILE]

Designs an equiripple (minimax) linear-phase FIR filter with an even number of
taps and prints the taps, the design status and the deviation.

The band layout is read from FILE, or from standard input when FILE is
absent or "-". Each point is a triplet  frequency,gain,weight:
  frequency  in hertz (or in units of the sampling rate with the default
             --rate 1, where 0.5 is the Nyquist frequency)
  gain       desired linear amplitude (1 passes, 0 stops, 0.5 halves)
  weight     relative importance of the error there, above 0
Numbers are separated by commas, semicolons or white space; a line may hold
one triplet or several. A negative frequency separates two bands (alone on its
line, or as a triplet whose gain and weight are ignored). Points of a band and
the bands themselves must ascend in frequency; gain and weight are joined
between the points of a band by a monotone curve. Empty lines and text after
'#' are ignored, and a first line without numbers is taken as a header.

Example (low-pass at 44100 Hz, stop band weighted 10):
  0,1,1
  3000,1,1
  -1
  5000,0,10
  22050,0,10

Options:
  -r, --rate HZ          sampling rate in hertz (default 1)
  -n, --taps N           number of taps: even, 2 .. 4096 (default 50)
      --response POINTS  also print the amplitude response at POINTS evenly
                         spaced frequencies from 0 to rate / 2 (POINTS >= 2)
  -h, --help             print this help and exit

Output (standard output):
  # status 0 (converged)
  # deviation 6.6428574373263e-05
  # taps 50
  index,tap
  0,6.5914181922818328e-05
  ...
and with --response, after a blank line:
  frequency,amplitude
  0,1.0000664
  ...
The deviation is the largest weighted error |weight * (amplitude - gain)| of
the design. The amplitude is the real zero-phase response, negative where the
filter inverts; an even-length symmetric filter always has amplitude 0 at
rate / 2.

Status: 0 converged; 1 stopped because the deviation decreased; 2 stopped
after 40 iterations; 3 the last deviation had a zero denominator. The taps are
printed in all four cases (a note goes to standard error for 1 to 3).

Exit status: 0 taps printed; 1 the design failed (a band layout the
exchange cannot use, or a non-finite result); 2 bad options or input.
)";

struct Options {
    double rate = 1.0;
    long taps = 50;
    long responsePoints = 0;
    std::string file = "-";
};

struct BandPlan {
    std::vector<float> frequency, gain, weight;
    std::vector<int> line;  // input line of each entry, for messages
};

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "sonalter-fir: error: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'sonalter-fir --help'.\n");
    std::exit(2);
}

std::string Format(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
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

Options ParseOptions(int argc, char** argv) {
    Options o;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // --name=value is the same as --name value.
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
        } else if (arg == "-r" || arg == "--rate") {
            const std::string v = value("--rate");
            if (!ParseDouble(v, o.rate) || !std::isfinite(o.rate) || !(o.rate > 0.0)) {
                Fail("--rate needs a positive number of hertz, not '" + v + "'");
            }
        } else if (arg == "-n" || arg == "--taps") {
            const std::string v = value("--taps");
            if (!ParseLong(v, o.taps) || o.taps < 2 || o.taps > CFirDesigner::kMaxLength || o.taps % 2 != 0) {
                Fail("--taps needs an even number from 2 to " + std::to_string(CFirDesigner::kMaxLength) + ", not '" +
                     v + "'");
            }
        } else if (arg == "--response") {
            const std::string v = value("--response");
            if (!ParseLong(v, o.responsePoints) || o.responsePoints < 2 || o.responsePoints > 10000000) {
                Fail("--response needs a number of points from 2 to 10000000, not '" + v + "'");
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            Fail("unknown option '" + arg + "'");
        } else {
            if (haveFile) Fail("more than one input file given");
            o.file = arg;
            haveFile = true;
        }
    }
    return o;
}

// Splits a line into number tokens; returns false with the offending token.
bool Tokenise(const std::string& text, std::vector<double>& numbers, std::string& bad) {
    numbers.clear();
    std::string token;
    auto flush = [&]() {
        if (token.empty()) return true;
        double v = 0.0;
        if (!ParseDouble(token, v)) {
            bad = token;
            return false;
        }
        numbers.push_back(v);
        token.clear();
        return true;
    };
    for (char c : text) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\r') {
            if (!flush()) return false;
        } else {
            token += c;
        }
    }
    return flush();
}

BandPlan ReadPlan(std::istream& in, const Options& o) {
    BandPlan plan;
    std::string text;
    int lineNo = 0;
    bool sawContent = false;
    auto where = [&]() { return "line " + std::to_string(lineNo) + ": "; };
    while (std::getline(in, text)) {
        ++lineNo;
        const std::size_t hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        if (text.find_first_not_of(" \t\r,;") == std::string::npos) continue;
        std::vector<double> numbers;
        std::string bad;
        if (!Tokenise(text, numbers, bad)) {
            if (!sawContent && text.find_first_of("0123456789") == std::string::npos) {
                sawContent = true;  // a header line
                continue;
            }
            Fail(where() + "'" + bad + "' is not a number");
        }
        sawContent = true;
        if (numbers.size() == 1 && numbers[0] < 0.0) {
            plan.frequency.push_back(-1.0f);
            plan.gain.push_back(0.0f);
            plan.weight.push_back(0.0f);
            plan.line.push_back(lineNo);
            continue;
        }
        if (numbers.size() % 3 != 0) {
            Fail(where() + "expected frequency,gain,weight triplets, got " + std::to_string(numbers.size()) +
                 " number(s)");
        }
        for (std::size_t i = 0; i < numbers.size(); i += 3) {
            const double f = numbers[i];
            const double g = numbers[i + 1];
            const double w = numbers[i + 2];
            if (f < 0.0) {  // a separator written as a triplet
                plan.frequency.push_back(-1.0f);
                plan.gain.push_back(0.0f);
                plan.weight.push_back(0.0f);
                plan.line.push_back(lineNo);
                continue;
            }
            if (!std::isfinite(f) || f > FLT_MAX) Fail(where() + "frequency must be a finite number within the 32-bit float range");
            if (!std::isfinite(g) || std::fabs(g) > FLT_MAX) Fail(where() + "gain must be a finite number within the 32-bit float range");
            if (!std::isfinite(w) || w > FLT_MAX) Fail(where() + "weight must be a finite number within the 32-bit float range");
            if (!(w > 0.0) || !(static_cast<float>(w) > 0.0f)) {
                Fail(where() + "weight must be above 0 (leave a gap between bands for a region you do not care about)");
            }
            if (f / o.rate > 0.5) {
                std::fprintf(stderr, "sonalter-fir: note: line %d: frequency %g is above half the sampling rate; it is clamped\n",
                             lineNo, f);
            }
            plan.frequency.push_back(static_cast<float>(f));
            plan.gain.push_back(static_cast<float>(g));
            plan.weight.push_back(static_cast<float>(w));
            plan.line.push_back(lineNo);
        }
    }
    // The designer needs frequencies that strictly ascend, within a band and
    // from one band to the next; say where they do not.
    bool any = false;
    float previous = 0.0f;
    int previousLine = 0;
    for (std::size_t i = 0; i < plan.frequency.size(); ++i) {
        const float f = plan.frequency[i];
        if (f < 0.0f) continue;
        if (any && !(f > previous)) {
            lineNo = plan.line[i];
            Fail(where() + "frequency " + Format(f) + " does not lie above " + Format(previous) + " (line " +
                 std::to_string(previousLine) + "); points and bands must ascend without overlap");
        }
        any = true;
        previous = f;
        previousLine = plan.line[i];
    }
    if (!any) Fail("the band layout holds no frequency,gain,weight point");
    return plan;
}

const char* StatusText(int32_t status) {
    switch (status) {
        case CFirDesigner::kConverged: return "converged";
        case CFirDesigner::kDeviationDecreased: return "stopped: the deviation decreased";
        case CFirDesigner::kIterationLimit: return "stopped after 40 iterations";
        case CFirDesigner::kZeroDenominator: return "the last deviation had a zero denominator";
        case CFirDesigner::kInvalidInput: return "band layout refused";
        default: return "non-finite result";
    }
}

// Zero-phase amplitude of the symmetric filter at f hertz.
double Amplitude(const std::vector<double>& h, double f, double rate) {
    const double centre = (static_cast<double>(h.size()) - 1.0) / 2.0;
    double sum = 0.0;
    for (std::size_t k = 0; k < h.size() / 2; ++k) {
        sum += 2.0 * h[k] * std::cos(2.0 * std::numbers::pi * f / rate * (static_cast<double>(k) - centre));
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = ParseOptions(argc, argv);
    BandPlan plan;
    if (o.file == "-") {
        plan = ReadPlan(std::cin, o);
    } else {
        std::ifstream in(o.file);
        if (!in) Fail("cannot open '" + o.file + "': " + std::strerror(errno));
        plan = ReadPlan(in, o);
    }

    std::vector<double> taps(static_cast<std::size_t>(o.taps), 0.0);
    CFirDesigner designer;
    designer.Length = static_cast<int32_t>(o.taps);
    designer.Coefficients = taps.data();
    designer.Design(plan.frequency.data(), plan.gain.data(), plan.weight.data(),
                    static_cast<int32_t>(plan.frequency.size()), o.rate);
    if (designer.Status < 0) {
        std::fprintf(stderr, "sonalter-fir: error: the design failed (status %d: %s)\n", designer.Status,
                     StatusText(designer.Status));
        return 1;
    }
    if (designer.Status != CFirDesigner::kConverged) {
        std::fprintf(stderr, "sonalter-fir: note: the exchange did not converge (status %d: %s)\n", designer.Status,
                     StatusText(designer.Status));
    }

    std::printf("# status %d (%s)\n", designer.Status, StatusText(designer.Status));
    std::printf("# deviation %.17g\n", designer.Deviation);
    std::printf("# taps %ld\n", o.taps);
    std::printf("index,tap\n");
    for (std::size_t i = 0; i < taps.size(); ++i) std::printf("%zu,%.17g\n", i, taps[i]);
    if (o.responsePoints >= 2) {
        std::printf("\nfrequency,amplitude\n");
        for (long i = 0; i < o.responsePoints; ++i) {
            const double f = o.rate / 2.0 * static_cast<double>(i) / static_cast<double>(o.responsePoints - 1);
            std::printf("%.12g,%.12g\n", f, Amplitude(taps, f, o.rate));
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
