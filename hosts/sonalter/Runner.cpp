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

std::vector<SHORT> ChannelOf(const std::vector<SHORT>& interleaved, int channels, int channel) {
    std::vector<SHORT> out;
    out.reserve(interleaved.size() / static_cast<size_t>(channels) + 1);
    for (size_t i = static_cast<size_t>(channel); i < interleaved.size(); i += static_cast<size_t>(channels)) {
        out.push_back(interleaved[i]);
    }
    return out;
}

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

ChainRunner::ChainRunner(Component& component, Progress& progress, EventSink& sink, CsvOutput& csv, int rate,
                         bool verbose, bool quiet)
    : component_(component), progress_(progress), sink_(sink), csv_(csv), rate_(rate), verbose_(verbose),
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

void ChainRunner::Run(const std::vector<PreparedCall>& calls, std::vector<SHORT>& samples, int& channels,
                      bool perChannel) {
    Track whole;
    whole.array = MakeShortArray(samples);
    whole.channels = channels;
    if (perChannel && channels > 1) {
        CheckPerChannel(calls);
        std::vector<ArrayOwner> parts = Split(whole);
        const int count = static_cast<int>(parts.size());
        SetChannels(1);
        for (int c = 0; c < count; ++c) {
            Track track;
            track.array = std::move(parts[static_cast<size_t>(c)]);
            RunCalls(calls, track, c + 1, count);
            parts[static_cast<size_t>(c)] = std::move(track.array);
        }
        SetChannels(channels);
        whole.array = Join(parts);
    } else {
        SetChannels(channels);
        RunCalls(calls, whole, 0, 1);
    }
    samples = ReadShorts(whole.array.get());
    channels = whole.channels;
}

void ChainRunner::RunCalls(const std::vector<PreparedCall>& calls, Track& track, int channel, int channelCount) {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (InterruptRequested()) throw Cancelled("stopped before " + calls[i].call->method->name);
        RunOne(calls[i], i, track, channel, channelCount);
    }
}

void ChainRunner::RunOne(const PreparedCall& call, size_t index, Track& track, int channel, int channelCount) {
    const Member& m = *call.call->method;
    const std::string where = channel > 0 ? " [channel " + std::to_string(channel) + "/" +
                                                std::to_string(channelCount) + "]"
                                          : "";
    if (verbose_) std::fprintf(stderr, "calling %s%s\n", call.call->Display().c_str(), where.c_str());
    const auto start = std::chrono::steady_clock::now();
    Variant result = Invoke(call, track, channel, channelCount);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    std::string note;
    if (result->vt == (VT_ARRAY | VT_I2)) {
        track.array.reset(result->parray);
        result->vt = VT_EMPTY;  // the track owns the array now
        const int before = track.channels;
        track.channels = ResultChannels(m, track.channels);
        note = " -> " + std::to_string(ElementCount(track.array.get())) + " samples";
        if (track.channels != before) {
            note += ", " + std::to_string(track.channels) + (track.channels == 1 ? " channel" : " channels");
            SetChannels(track.channels);
        }
    } else if (result->vt == (VT_ARRAY | VT_R4)) {
        const std::vector<float> values = ReadFloats(result->parray);
        const double binHz = IsSpectrum(m) && !values.empty() ? rate_ / (2.0 * static_cast<double>(values.size())) : 0.0;
        csv_.AddSeries(index, call.call->Display(), channel, m.resultName.empty() ? "value" : m.resultName, values,
                       binHz);
        note = " -> " + std::to_string(values.size()) + " values";
    } else if (result->vt != VT_EMPTY) {
        const std::string value = FormatScalar(*result.get());
        csv_.AddValue(index, call.call->Display(), channel, m.resultName.empty() ? "value" : m.resultName, value);
        note = " -> " + value + (m.resultUnit.empty() ? "" : " " + m.resultUnit);
    }
    if (!quiet_) {
        std::fprintf(stderr, "%s%s: %lld ms%s\n", call.call->Display().c_str(), where.c_str(),
                     static_cast<long long>(ms.count()), note.c_str());
    }
}

Variant ChainRunner::Invoke(const PreparedCall& call, Track& track, int channel, int channelCount) {
    const Member& m = *call.call->method;
    std::vector<ArrayOwner> keep;
    keep.reserve(m.params.size());  // slots handed to Invoke must not move
    std::vector<VARIANTARG> args(m.params.size());
    for (size_t p = 0; p < m.params.size(); ++p) {
        VARIANTARG& v = args[p];
        VariantInit(&v);
        const Argument& a = call.args[p];
        if (a.current) {
            v.vt = VT_BYREF | VT_ARRAY | VT_I2;
            v.pparray = track.array.slot();
        } else if (a.omitted) {
            v.vt = VT_ERROR;
            v.scode = DISP_E_PARAMNOTFOUND;
        } else if (m.params[p].type.kind == ValueKind::FloatArray) {
            keep.push_back(MakeFloatArray(a.floats));
            v.vt = VT_BYREF | VT_ARRAY | VT_R4;
            v.pparray = keep.back().slot();
        } else if (m.params[p].type.kind == ValueKind::SampleArray) {
            if (channel > 0 && a.channels > 1) {
                if (a.channels != channelCount) {
                    throw UsageError(m.name + ": " + a.path + " has " + std::to_string(a.channels) +
                                     " channels but the input has " + std::to_string(channelCount) +
                                     "; with --per-channel give a file with as many channels, or a mono one");
                }
                keep.push_back(MakeShortArray(ChannelOf(a.samples, a.channels, channel - 1)));
            } else {
                keep.push_back(MakeShortArray(a.samples));
            }
            v.vt = VT_BYREF | VT_ARRAY | VT_I2;
            v.pparray = keep.back().slot();
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
    sink_.Reset();
    Variant result;
    try {
        result = component_.Call(method, args);
    } catch (...) {
        progress_.Close();
        throw;
    }
    progress_.Close();
    if (InterruptRequested()) {
        if (sink_.CancelSent()) {
            const long percent = progress_.LastPercent();
            throw Cancelled("stopped " + method.name + (percent >= 0 ? " at " + std::to_string(percent) + " %" : ""));
        }
        throw Cancelled("stopped after " + method.name);
    }
    return result;
}

ArrayOwner ChainRunner::CallOnArrays(const char* name, std::vector<SAFEARRAY**> arrays) {
    const Member* m = component_.Members().FindMethod(name);
    if (!m || m->params.size() != arrays.size() || m->result.kind != ValueKind::SampleArray) {
        throw Failure(std::string("--per-channel needs the component's ") + name + " method");
    }
    std::vector<VARIANTARG> args(arrays.size());
    for (size_t i = 0; i < arrays.size(); ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BYREF | VT_ARRAY | VT_I2;
        args[i].pparray = arrays[i];
    }
    if (verbose_) std::fprintf(stderr, "calling %s\n", name);
    Variant result;
    try {
        result = Timed(*m, name, args);
    } catch (const Failure& e) {
        throw Failure(std::string("--per-channel: ") + e.what());
    }
    if (result->vt != (VT_ARRAY | VT_I2)) throw Failure(std::string(name) + " returned no sample array");
    ArrayOwner out(result->parray);
    result->vt = VT_EMPTY;
    return out;
}

std::vector<ArrayOwner> ChainRunner::Split(Track& track) {
    std::vector<ArrayOwner> parts;
    if (track.channels == 2) {
        // Two channels: the component's own channel utilities.
        parts.push_back(CallOnArrays("GetLeftStereoChannel", {track.array.slot()}));
        parts.push_back(CallOnArrays("GetRightStereoChannel", {track.array.slot()}));
        return parts;
    }
    // More channels than the utilities know: deinterleave here.
    const std::vector<SHORT> all = ReadShorts(track.array.get());
    for (int c = 0; c < track.channels; ++c) parts.push_back(MakeShortArray(ChannelOf(all, track.channels, c)));
    return parts;
}

ArrayOwner ChainRunner::Join(std::vector<ArrayOwner>& parts) {
    if (parts.size() == 2) return CallOnArrays("MakeStereoFromArrays", {parts[0].slot(), parts[1].slot()});
    // Interleave; a channel that came out shorter is padded with silence.
    std::vector<std::vector<SHORT>> channels;
    size_t longest = 0;
    for (ArrayOwner& part : parts) {
        channels.push_back(ReadShorts(part.get()));
        longest = std::max(longest, channels.back().size());
    }
    std::vector<SHORT> joined(longest * channels.size(), 0);
    for (size_t c = 0; c < channels.size(); ++c) {
        for (size_t i = 0; i < channels[c].size(); ++i) joined[i * channels.size() + c] = channels[c][i];
    }
    return MakeShortArray(joined);
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
