#include "Run.h"

#include "Arguments.h"
#include "AudioFile.h"
#include "Chain.h"
#include "Component.h"
#include "CsvOutput.h"
#include "Errors.h"
#include "TransformEvents.h"
#include "Interrupt.h"
#include "Memory.h"
#include "PendingFile.h"
#include "PerChannel.h"
#include "Progress.h"
#include "Runner.h"
#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace sonalter {

namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// A method name where a file is due: the user left out INPUT or OUTPUT.
void CheckFileWord(const MemberTable& members, const std::string& word, const char* role) {
    if (members.FindMethod(word) && !Exists(word)) {
        throw UsageError(std::string(role) + " '" + word + "' is a method name; name the files first: " +
                         "sonalter INPUT OUTPUT METHOD [ARG ...]");
    }
}

void PutBoolean(Component& component, const char* property, bool value) {
    Variant v;
    v->vt = VT_BOOL;
    v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    component.Put(property, *v.get());
}

// --smooth-time coerced to SmoothTime's declared type, or VT_EMPTY without the option.
Variant SmoothTimeValue(Component& component, const Options& o) {
    if (!o.smoothTime) return Variant();
    const Member* p = component.Members().FindProperty("SmoothTime");
    if (!p) throw Failure("the component has no SmoothTime property for --smooth-time");
    Parameter param;
    param.name = p->name;
    param.type = p->result;
    param.unit = p->resultUnit;
    return CoerceScalar(*o.smoothTime, param, "--smooth-time");
}

// The properties the input and the options decide; ArrayChannels is the runner's.
void ApplySettings(Component& component, const Options& o, const Variant& smoothTime, int rate, bool say) {
    Variant frequency;
    frequency->vt = VT_I4;
    frequency->lVal = rate;
    component.Put("ArrayFrequency", *frequency.get());
    std::string said = "ArrayFrequency=" + std::to_string(rate);
    if (smoothTime->vt != VT_EMPTY) {
        component.Put("SmoothTime", *smoothTime.get());
        said += " SmoothTime=" + *o.smoothTime;
    }
    if (o.noSmoothLeft) {
        PutBoolean(component, "SmoothLeftEnabled", false);
        said += " SmoothLeftEnabled=false";
    }
    if (o.noSmoothRight) {
        PutBoolean(component, "SmoothRightEnabled", false);
        said += " SmoothRightEnabled=false";
    }
    if (o.noEvents) {
        PutBoolean(component, "TBEventEnabled", false);
        said += " TBEventEnabled=false";
    }
    if (o.verbose && say) std::fprintf(stderr, "properties: %s\n", said.c_str());
}

// The channel count the chain will leave, to check the output format early.
int ChannelsAfter(const std::vector<PreparedCall>& calls, int channels, bool perChannel) {
    if (perChannel) return channels;
    for (const PreparedCall& c : calls) {
        if (c.call->method->result.kind == ValueKind::SampleArray) channels = ResultChannels(*c.call->method, channels);
    }
    return channels;
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) throw Failure("cannot write " + path + ": " + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
}

}  // namespace

int RunChain(Component& component, const Options& o) {
    const MemberTable& members = component.Members();
    const std::string& input = o.words[0];
    const std::string& output = o.words[1];
    CheckFileWord(members, input, "INPUT");
    CheckFileWord(members, output, "OUTPUT");
    const bool writeAudio = output != "-";

    const std::vector<std::string> chainWords(o.words.begin() + 2, o.words.end());
    const std::vector<Call> calls = ParseChain(members, chainWords);
    const int format = writeAudio ? OutputFormat(output, o.subtype) : 0;
    std::vector<PreparedCall> prepared;
    for (const Call& c : calls) prepared.push_back(PrepareCall(c));
    if (o.perChannel) ChainRunner::CheckPerChannel(prepared);
    const Variant smoothTime = SmoothTimeValue(component, o);

    AudioReader reader(input);
    const AudioInfo info = reader.Info();
    for (const PreparedCall& c : prepared) {
        for (const Argument& a : c.args) {
            if (!a.path.empty() && a.rate > 0 && a.rate != info.rate) {
                std::fprintf(stderr, "sonalter: note: %s has %d Hz and %s %d Hz; its samples are used as they are\n",
                             a.path.c_str(), a.rate, input.c_str(), info.rate);
            }
        }
    }
    const bool perChannel = o.perChannel && info.channels > 1;
    if (writeAudio) CheckWritable(format, ChannelsAfter(prepared, info.channels, perChannel), info.rate, output);

    // Refuse now what memory cannot hold, rather than fail halfway. A file that
    // does not tell its length is read as far as memory goes.
    if (reader.Samples() > 0) {
        const MemoryNeed need = EstimateMemory(prepared, reader.Samples(), info.channels, perChannel);
        const std::optional<std::uint64_t> available = AvailableMemory();
        if (o.verbose) {
            std::fprintf(stderr, "memory: needs about %s (%s); %s available\n", Mebibytes(need.peakBytes).c_str(),
                         need.why.c_str(), available ? ("about " + Mebibytes(*available)).c_str() : "unknown");
        }
        CheckMemory(need, available, o.maxMemory, input);
    }

    // The temporary files exist from here on, so an unwritable output is found
    // before the work; they are removed on every way out but success.
    std::unique_ptr<PendingFile> audioOut = writeAudio ? std::make_unique<PendingFile>(output) : nullptr;
    std::unique_ptr<PendingFile> csvOut = o.csvPath.empty() ? nullptr : std::make_unique<PendingFile>(o.csvPath);

    // The one copy of the samples: read into the array the methods work on.
    ArrayOwner samples = reader.ReadAll();
    if (!o.quiet) {
        const SampleElements all(samples.get());
        std::fprintf(stderr, "read %s: %s, %s\n", input.c_str(), DescribeFormat(info.format).c_str(),
                     Summary(all.Span(), info.channels, info.rate).c_str());
    }
    if (InterruptRequested()) throw Cancelled("stopped while reading");

    ApplySettings(component, o, smoothTime, info.rate, true);
    Progress progress(!o.quiet && StderrIsTerminal());
    CsvOutput csv;
    int channels = info.channels;
    if (perChannel) {
        PerChannelRun run;
        run.members = &members;
        run.configure = [&](Component& c) { ApplySettings(c, o, smoothTime, info.rate, false); };
        run.rate = info.rate;
        run.verbose = o.verbose;
        run.quiet = o.quiet;
        run.progress = progress.Enabled();
        RunPerChannel(prepared, samples, channels, run, csv);
    } else {
        TransformEvents events(progress, [&component] { return component.Cancel(); });
        if (!events.Connect(component.Object()) && o.verbose) {
            std::fprintf(stderr, "events: not available; Ctrl-C stops between methods only\n");
        }
        ChainRunner runner(component, progress, events, csv, info.rate, o.verbose, o.quiet);
        runner.SetChannels(channels);
        runner.Run(prepared, samples, channels);
    }

    if (InterruptRequested()) throw Cancelled("stopped before writing");
    if (audioOut) {
        if (channels <= 0) throw Failure("the result has no channels");
        const size_t count = ElementCount(samples.get());
        const size_t extra = count % static_cast<size_t>(channels);
        if (extra != 0) {
            std::fprintf(stderr, "sonalter: note: the result has %zu samples, not a whole number of %d-channel "
                                 "frames; the last %zu are dropped\n",
                         count, channels, extra);
            ResizeShortArray(samples.get(), count - extra);
        }
        const SampleElements all(samples.get());
        WriteAudio(*audioOut, all.Span(), channels, info.rate, format);
    }
    const std::string csvText = csv.Text();
    if (csvOut) WriteAll(csvOut->Descriptor(), csvText, csvOut->Target());
    if (InterruptRequested()) throw Cancelled("stopped before writing");
    if (audioOut) audioOut->Commit();
    if (csvOut) csvOut->Commit();

    if (!csvOut && !csvText.empty()) {
        std::fwrite(csvText.data(), 1, csvText.size(), stdout);
        std::fflush(stdout);
    }
    if (!o.quiet) {
        if (audioOut) {
            const SampleElements all(samples.get());
            std::fprintf(stderr, "wrote %s: %s, %s\n", output.c_str(), DescribeFormat(format).c_str(),
                         Summary(all.Span(), channels, info.rate).c_str());
        }
        if (csvOut) std::fprintf(stderr, "wrote %s\n", o.csvPath.c_str());
    }
    return 0;
}

}  // namespace sonalter
