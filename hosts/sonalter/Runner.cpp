#include "Runner.h"

#include "Errors.h"
#include "Interrupt.h"
#include "Text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sonalter {

namespace {

bool Contains(const std::string& text, const char* part) { return Lower(text).find(part) != std::string::npos; }

// A spectrum is what a method named FFT... returns as a float array.
bool IsSpectrum(const Member& method) { return Lower(method.name).starts_with("fft"); }

std::string FormatScalar(const VARIANT& value) {
    switch (value.vt) {
        case VT_R4: return FormatFloat(value.fltVal);
        case VT_R8: return FormatDouble(value.dblVal);
        case VT_BOOL: return value.boolVal ? "true" : "false";
        default: {
            Variant text;
            if (SUCCEEDED(VariantChangeType(text.get(), &value, 0, VT_BSTR))) return Utf8(text->bstrVal);
            return "(a value of type " + std::to_string(value.vt) + ")";
        }
    }
}

}  // namespace

std::vector<SHORT> ChannelOf(std::span<const SHORT> interleaved, int channels, int channel) {
    std::vector<SHORT> out;
    out.reserve(interleaved.size() / static_cast<size_t>(channels) + 1);
    for (size_t i = static_cast<size_t>(channel); i < interleaved.size(); i += static_cast<size_t>(channels)) {
        out.push_back(interleaved[i]);
    }
    return out;
}

int ResultChannels(const Member& method, int current) {
    if (Contains(method.resultName, "mono") || Contains(method.resultName, "left") ||
        Contains(method.resultName, "right")) {
        return 1;
    }
    if (Contains(method.resultName, "stereo")) return 2;
    bool left = false;
    bool right = false;
    for (const Parameter& p : method.params) {
        if (p.type.kind != ValueKind::SampleArray) continue;
        left = left || Contains(p.name, "left");
        right = right || Contains(p.name, "right");
    }
    return left && right ? 2 : current;
}

ChainRunner::ChainRunner(Component& component, Progress& progress, TransformEvents& events, CsvOutput& csv, int rate,
                         bool verbose, bool quiet)
    : component_(component), progress_(progress), events_(events), csv_(csv), rate_(rate), verbose_(verbose),
      quiet_(quiet) {}

void ChainRunner::CheckPerChannel(const std::vector<PreparedCall>& calls) {
    for (const PreparedCall& c : calls) {
        const Member& m = *c.call->method;
        if (m.result.kind == ValueKind::SampleArray && ResultChannels(m, 1) != 1) {
            throw UsageError(m.name + " makes a " + std::to_string(ResultChannels(m, 1)) +
                             "-channel array, which --per-channel cannot join back; run it without --per-channel");
        }
    }
}

void ChainRunner::Run(const std::vector<PreparedCall>& calls, ArrayOwner& samples, int& channels, int channel,
                      int channelCount) {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (stop_ && stop_->load()) throw Stopped{};
        if (InterruptRequested()) throw Cancelled("stopped before " + calls[i].call->method->name);
        RunOne(calls[i], i, samples, channels, channel, channelCount);
    }
}

void ChainRunner::RunOne(const PreparedCall& call, size_t index, ArrayOwner& samples, int& channels, int channel,
                         int channelCount) {
    const Member& m = *call.call->method;
    const std::string where = channel > 0 ? " [channel " + std::to_string(channel) + "/" +
                                                std::to_string(channelCount) + "]"
                                          : "";
    if (verbose_) std::fprintf(stderr, "calling %s%s\n", call.call->Display().c_str(), where.c_str());
    const SAFEARRAY* before = samples.get();
    const size_t lengthBefore = ElementCount(samples.get());
    const auto start = std::chrono::steady_clock::now();
    Slots slots;
    slots.arrays.resize(m.params.size());
    slots.values.resize(m.params.size());
    Variant result = Invoke(call, samples, slots, channel, channelCount);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    std::string note;
    if (samples.get() != before || ElementCount(samples.get()) != lengthBefore) {
        note = " -> " + std::to_string(ElementCount(samples.get())) + " samples";
    }
    const std::string title = call.call->Display();
    // Blocks of CSV: the call's result first, then float arrays it changed.
    constexpr size_t kBlocksPerCall = 64;
    if (result->vt == (VT_ARRAY | VT_I2)) {
        samples.reset(result->parray);  // the old array is freed here, before anything else runs
        result->vt = VT_EMPTY;          // the working array owns it now
        const int layout = channels;
        channels = ResultChannels(m, channels);
        note = " -> " + std::to_string(ElementCount(samples.get())) + " samples";
        if (channels != layout) {
            note += ", " + std::to_string(channels) + (channels == 1 ? " channel" : " channels");
            SetChannels(channels);
        }
    } else if (result->vt == (VT_ARRAY | VT_R4)) {
        const std::vector<float> values = ReadFloats(result->parray);
        const double binHz = IsSpectrum(m) && !values.empty() ? rate_ / (2.0 * static_cast<double>(values.size())) : 0.0;
        csv_.AddSeries(index * kBlocksPerCall, title, channel, m.resultName.empty() ? "value" : m.resultName, values,
                       binHz);
        note = " -> " + std::to_string(values.size()) + " values";
    } else if (result->vt != VT_EMPTY) {
        const std::string value = FormatScalar(*result.get());
        csv_.AddValue(index * kBlocksPerCall, title, channel, m.resultName.empty() ? "value" : m.resultName, value);
        note = " -> " + value + (m.resultUnit.empty() ? "" : " " + m.resultUnit);
    }
    // What the method leaves in its [out] parameters is a result too: float
    // arrays (also [in, out] ones) and values.
    for (size_t p = 0; p < m.params.size() && p + 1 < kBlocksPerCall; ++p) {
        const Parameter& param = m.params[p];
        if (!param.out || call.args[p].current) continue;
        const size_t block = index * kBlocksPerCall + p + 1;
        if (param.type.kind == ValueKind::FloatArray && slots.arrays[p].get()) {
            const std::vector<float> values = ReadFloats(slots.arrays[p].get());
            csv_.AddSeries(block, title + " " + param.name, channel, param.name, values, 0.0);
            note += " -> " + param.name + ": " + std::to_string(values.size()) + " values";
        } else if (call.args[p].output && slots.values[p]->vt != VT_EMPTY) {
            const std::string value = FormatScalar(*slots.values[p].get());
            csv_.AddValue(block, title + " " + param.name, channel, param.name, value);
            note += " -> " + param.name + " " + value + (param.unit.empty() ? "" : " " + param.unit);
        }
    }
    if (!quiet_) {
        std::fprintf(stderr, "%s%s: %lld ms%s\n", title.c_str(), where.c_str(), static_cast<long long>(ms.count()),
                     note.c_str());
    }
}

Variant ChainRunner::Invoke(const PreparedCall& call, ArrayOwner& samples, Slots& slots, int channel,
                            int channelCount) {
    std::vector<ArrayOwner>& keep = slots.arrays;
    const Member& m = *call.call->method;
    std::vector<VARIANTARG> args(m.params.size());
    for (size_t p = 0; p < m.params.size(); ++p) {
        VARIANTARG& v = args[p];
        VariantInit(&v);
        const Argument& a = call.args[p];
        if (a.current) {
            // By reference: an in-place method works on the working array itself,
            // and one that resizes or replaces it leaves the new array here.
            v.vt = VT_BYREF | VT_ARRAY | VT_I2;
            v.pparray = samples.slot();
        } else if (a.omitted) {
            v.vt = VT_ERROR;
            v.scode = DISP_E_PARAMNOTFOUND;
        } else if (a.output) {
            // An empty place for the method to fill.
            const ValueType& type = m.params[p].type;
            if (type.kind == ValueKind::FloatArray || type.kind == ValueKind::SampleArray) {
                v.vt = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | type.vt);
                v.pparray = keep[p].slot();
            } else if (type.kind == ValueKind::Number || type.kind == ValueKind::Boolean ||
                       type.kind == ValueKind::Enumeration) {
                VARIANT& place = *slots.values[p].get();
                place.vt = type.vt;
                v.vt = static_cast<VARTYPE>(VT_BYREF | type.vt);
                v.byref = &place.llVal;  // every scalar starts where the union starts
            } else {
                throw UsageError(m.name + ": its output " + m.params[p].name + " is a " + type.name +
                                 ", which the command line cannot show");
            }
        } else if (m.params[p].type.kind == ValueKind::FloatArray) {
            keep[p] = MakeFloatArray(a.floats);
            v.vt = VT_BYREF | VT_ARRAY | VT_R4;
            v.pparray = keep[p].slot();
        } else if (m.params[p].type.kind == ValueKind::SampleArray) {
            // Read without a lock: with --per-channel several threads read this
            // array at once, and nothing changes it while the chain runs.
            const std::span<const SHORT> other = UnlockedShorts(a.audio.get());
            if (channel > 0 && a.channels > 1) {
                if (a.channels != channelCount) {
                    throw UsageError(m.name + ": " + a.path + " has " + std::to_string(a.channels) +
                                     " channels but the input has " + std::to_string(channelCount) +
                                     "; with --per-channel give a file with as many channels, or a mono one");
                }
                keep[p] = MakeShortArray(ChannelOf(other, a.channels, channel - 1));
            } else {
                // Each call gets its own copy: the file's array stays as read for
                // the other channels and for repeated use.
                keep[p] = MakeShortArray(other);
            }
            v.vt = VT_BYREF | VT_ARRAY | VT_I2;
            v.pparray = keep[p].slot();
        } else {
            v = *a.scalar.get();  // shallow: the prepared value keeps ownership
        }
    }
    const std::string label = channel > 0 ? m.name + " " + std::to_string(channel) + "/" + std::to_string(channelCount)
                                          : m.name;
    return Timed(m, label, args);
}

Variant ChainRunner::Timed(const Member& method, const std::string& label, std::vector<VARIANTARG>& args) {
    progress_.Begin(label);
    events_.Reset();
    Variant result;
    try {
        result = component_.Call(method, args);
    } catch (...) {
        progress_.Close();
        throw;
    }
    progress_.Close();
    if (InterruptRequested()) {
        if (events_.CancelSent()) {
            const long percent = progress_.LastPercent();
            throw Cancelled("stopped " + method.name + (percent >= 0 ? " at " + std::to_string(percent) + " %" : ""));
        }
        throw Cancelled("stopped after " + method.name);
    }
    return result;
}

void ChainRunner::SetChannels(int channels) {
    // ArrayChannels knows mono and stereo; other layouts leave it as it is.
    const Member* p = component_.Members().FindProperty("ArrayChannels");
    if (!p || !p->writable || (channels != 1 && channels != 2)) return;
    Variant value;
    value->vt = VT_I4;
    value->lVal = channels;
    component_.Put("ArrayChannels", *value.get());
}

}  // namespace sonalter
