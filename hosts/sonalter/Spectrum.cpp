#include "Spectrum.h"

#include "Activation.h"
#include "AudioFile.h"
#include "Component.h"
#include "Errors.h"
#include "SafeArrays.h"
#include "SpectrumPlot.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace sonalter {
namespace {

constexpr size_t kLargestBlock = 16384;

const char kUsage[] =
    "usage: sonalter spectrum FILE [--at SECONDS] [--size N] [--csv[=FILE]] [--png OUT.png]\n"
    "  The power spectrum (dB relative to 32767, the component's FFTPower) of N frames\n"
    "  of FILE from SECONDS on (default 0), the channels mixed to their mean.\n"
    "  N is a power of 4 from 16 to 16384 (default 16384); a file that ends sooner\n"
    "  gives the largest power of 4 that fits. Bin k lies at k * rate / N Hz.\n"
    "  --csv[=FILE]  CSV rows frequency_hz,power_db (standard output without FILE);\n"
    "                the default unless --png is given\n"
    "  --png OUT.png the spectrum over a logarithmic frequency axis\n";

struct Request {
    std::string input;
    double at = 0;
    size_t size = kLargestBlock;
    bool csv = false;
    std::string csvPath;
    std::string pngPath;
};

std::string ValueOf(int argc, char** argv, int& i, const std::string& word, const std::string& name) {
    const std::string prefix = name + "=";
    if (word.starts_with(prefix)) return word.substr(prefix.size());
    if (i + 1 >= argc) throw UsageError(name + " needs a value\n" + kUsage);
    return argv[++i];
}

double Number(const std::string& text, const std::string& name) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) throw UsageError(name + " wants a number, not '" + text + "'");
    return v;
}

Request Parse(int argc, char** argv) {
    Request r;
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (word == "--at" || word.starts_with("--at=")) {
            r.at = Number(ValueOf(argc, argv, i, word, "--at"), "--at");
            if (r.at < 0) throw UsageError("--at wants a time of 0 seconds or more");
        } else if (word == "--size" || word.starts_with("--size=")) {
            const double n = Number(ValueOf(argc, argv, i, word, "--size"), "--size");
            size_t p = 16;
            while (p < kLargestBlock && static_cast<double>(p) != n) p *= 4;
            if (static_cast<double>(p) != n) throw UsageError("--size wants 16, 64, 256, 1024, 4096 or 16384");
            r.size = p;
        } else if (word == "--csv") {
            r.csv = true;
        } else if (word.starts_with("--csv=")) {
            r.csv = true;
            r.csvPath = word.substr(6);
        } else if (word == "--png" || word.starts_with("--png=")) {
            r.pngPath = ValueOf(argc, argv, i, word, "--png");
        } else if (word.starts_with("-") && word.size() > 1) {
            throw UsageError("unknown option " + word + " for spectrum\n" + kUsage);
        } else if (r.input.empty()) {
            r.input = word;
        } else {
            throw UsageError("spectrum takes one FILE, not also '" + word + "'\n" + kUsage);
        }
    }
    if (r.input.empty()) throw UsageError(std::string("spectrum needs a FILE\n") + kUsage);
    if (r.pngPath.empty()) r.csv = true;
    return r;
}

size_t SampleCount(const Audio& audio) { return SampleElements(audio.samples.get()).Span().size(); }

// The channels of frames [first, first + count) mixed to their mean, rounded.
std::vector<SHORT> MixedFrames(const Audio& audio, size_t first, size_t count) {
    const size_t c = static_cast<size_t>(audio.channels);
    const SampleElements elements(audio.samples.get());
    const std::span<SHORT> samples = elements.Span();
    std::vector<SHORT> mixed(count);
    for (size_t f = 0; f < count; ++f) {
        long sum = 0;
        for (size_t k = 0; k < c; ++k) sum += samples[(first + f) * c + k];
        mixed[f] = static_cast<SHORT>(std::lround(static_cast<double>(sum) / static_cast<double>(c)));
    }
    return mixed;
}

// The component's FFTPower of one block, called late-bound as the tool calls
// every method.
std::vector<float> Power(Component& component, std::span<const SHORT> block) {
    const Member* m = component.Members().FindMethod("FFTPower");
    if (!m) throw Failure("the component has no FFTPower method");
    ArrayOwner array = MakeShortArray(block);
    std::vector<VARIANTARG> args(1);
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_ARRAY | VT_I2;
    args[0].pparray = array.slot();
    Variant result = component.Call(*m, args);
    if (result->vt != (VT_ARRAY | VT_R4)) throw Failure("FFTPower returned no float array");
    ArrayOwner out(result->parray);
    result->vt = VT_EMPTY;
    return ReadFloats(out.get());
}

Component Activate() {
    ActivatedObject activated = ActivateTransformObject();
    if (!activated.warning.empty()) std::fprintf(stderr, "sonalter: warning: %s\n", activated.warning.c_str());
    return Component(std::move(activated));
}

std::string Format(const char* format, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

std::string DecibelText(double db) { return std::isinf(db) ? (db < 0 ? "-inf" : "inf") : Format("%.2f", db); }

// The bin above 0 Hz with the most power, or 0 when every bin is empty.
size_t StrongestBin(const std::vector<double>& power) {
    size_t best = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        if (power[k] > -std::numeric_limits<double>::infinity() && (best == 0 || power[k] > power[best])) best = k;
    }
    return best;
}

}  // namespace

bool IsSpectrumCommand(int argc, char** argv) { return argc >= 2 && std::string(argv[1]) == "spectrum"; }

int RunSpectrum(int argc, char** argv) {
    const Request r = Parse(argc, argv);
    const Audio audio = ReadAudio(r.input);
    const size_t frames = SampleCount(audio) / static_cast<size_t>(audio.channels);
    const double startFrame = std::floor(r.at * audio.rate);
    if (startFrame >= static_cast<double>(frames)) {
        throw Failure(r.input + " ends at " + Format("%.3f", static_cast<double>(frames) / audio.rate) + " s");
    }
    const size_t first = static_cast<size_t>(startFrame);
    const size_t count = std::min(r.size, frames - first);
    if (count < 4) throw Failure("a spectrum needs at least 4 frames; " + r.input + " has " + std::to_string(count) + " from there");

    Apartment apartment;
    Component component = Activate();
    const std::vector<float> power = Power(component, MixedFrames(audio, first, count));
    const size_t N = 2 * power.size();
    const double binHz = static_cast<double>(audio.rate) / static_cast<double>(N);

    std::vector<double> asDouble(power.begin(), power.end());
    const size_t peak = StrongestBin(asDouble);
    const std::string summary = std::to_string(N) + " frames from " + Format("%.3f", first / double(audio.rate)) +
                                " s, bins of " + Format("%.3f", binHz) + " Hz, peak " +
                                (peak ? Format("%.1f", peak * binHz) + " Hz (" + DecibelText(power[peak]) + " dB)" : "none");

    if (r.csv) {
        std::string text = "frequency_hz,power_db\n";
        for (size_t k = 0; k < power.size(); ++k) {
            text += Format("%.4f", k * binHz) + "," + (std::isinf(power[k]) ? "-inf" : Format("%.9g", power[k])) + "\n";
        }
        if (r.csvPath.empty()) {
            std::fputs(text.c_str(), stdout);
        } else {
            std::FILE* file = std::fopen(r.csvPath.c_str(), "w");
            if (!file || std::fputs(text.c_str(), file) < 0 || std::fclose(file) != 0) {
                throw Failure("cannot write " + r.csvPath);
            }
        }
    }
    if (!r.pngPath.empty()) {
        const size_t slash = r.input.find_last_of('/');
        WriteSpectrumPng(r.pngPath, power, binHz, r.input.substr(slash == std::string::npos ? 0 : slash + 1) + ": " + summary);
        std::fprintf(r.csv && r.csvPath.empty() ? stderr : stdout, "%s written: %s\n", r.pngPath.c_str(), summary.c_str());
    } else if (!r.csvPath.empty()) {
        std::printf("%s written: %s\n", r.csvPath.c_str(), summary.c_str());
    }
    return 0;
}

std::string SpectralPeakText(const Audio& audio) {
    const size_t frames = audio.channels > 0 ? SampleCount(audio) / static_cast<size_t>(audio.channels) : 0;
    if (frames < 4) return "none (too short)";
    const size_t size = std::min(frames, kLargestBlock);
    const size_t blocks = frames < kLargestBlock ? 1 : std::min<size_t>(32, frames / kLargestBlock);

    Apartment apartment;
    Component component = Activate();
    std::vector<double> sum;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t first = blocks == 1 ? 0 : b * (frames - size) / (blocks - 1);
        const std::vector<float> power = Power(component, MixedFrames(audio, first, size));
        if (sum.empty()) sum.assign(power.size(), 0.0);
        for (size_t k = 0; k < power.size(); ++k) sum[k] += std::pow(10.0, power[k] / 10.0);
    }
    for (double& v : sum) v = 10.0 * std::log10(v / static_cast<double>(blocks));
    const size_t peak = StrongestBin(sum);
    if (peak == 0) return "none (silence)";
    const double binHz = static_cast<double>(audio.rate) / (2.0 * static_cast<double>(sum.size()));
    return Format("%.1f", peak * binHz) + " Hz (" + DecibelText(sum[peak]) + " dB re 32767, bins of " +
           Format("%.2f", binHz) + " Hz)";
}

}  // namespace sonalter
