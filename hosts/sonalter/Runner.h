// Running a prepared chain on the samples: one late-bound call per method, the
// working array passed by reference so in-place methods change it where it lies,
// returned arrays taking its place (the old one freed at once), returned values
// going to CSV, a progress bar per call and Ctrl-C checked after each.
#pragma once

#include "Arguments.h"
#include "Component.h"
#include "CsvOutput.h"
#include "TransformEvents.h"
#include "Progress.h"
#include "SafeArrays.h"

#include <atomic>
#include <vector>

namespace sonalter {

class ChainRunner {
public:
    // [in] rate     the sampling rate (ArrayFrequency), for spectrum frequencies
    // [in] verbose  say each call before it starts
    // [in] quiet    no summary line after each call
    ChainRunner(Component& component, Progress& progress, TransformEvents& events, CsvOutput& csv, int rate, bool verbose,
                bool quiet);

    // CheckPerChannel
    //   Throws UsageError when a call would change the channel count, which
    //   --per-channel cannot join back.
    static void CheckPerChannel(const std::vector<PreparedCall>& calls);

    // Run
    //   [in,out] samples   the working array, interleaved; changed in place, or
    //                      replaced by an array a method returns or puts in its place
    //   [in,out] channels  its channel count; updated when a method returns an
    //                      array of another layout
    //   [in] channel       1-based channel this run works on with --per-channel
    //                      (named in messages and CSV), 0 for the whole stream
    //   [in] channelCount  the input's channel count with --per-channel, else 1
    //   Throws Failure for a failing call, Cancelled after Ctrl-C, UsageError for
    //   arguments that do not fit the audio.
    void Run(const std::vector<PreparedCall>& calls, ArrayOwner& samples, int& channels, int channel = 0,
             int channelCount = 1);

    // SetChannels: ArrayChannels for mono and stereo; other layouts leave it.
    void SetChannels(int channels);

    // StopWhen
    //   A flag that ends the chain before its next method (a sibling channel
    //   failed); the run then throws Stopped.
    void StopWhen(const std::atomic<bool>* flag) { stop_ = flag; }

    // Thrown when the StopWhen flag ended the run: the reason is elsewhere.
    struct Stopped {};

private:
    void RunOne(const PreparedCall& call, size_t index, ArrayOwner& samples, int& channels, int channel,
                int channelCount);
    // What a call's array and output parameters point at while it runs, one
    // entry per parameter.
    struct Slots {
        std::vector<ArrayOwner> arrays;
        std::vector<Variant> values;
    };
    Variant Invoke(const PreparedCall& call, ArrayOwner& samples, Slots& slots, int channel, int channelCount);
    Variant Timed(const Member& method, const std::string& label, std::vector<VARIANTARG>& args);

    Component& component_;
    Progress& progress_;
    TransformEvents& events_;
    CsvOutput& csv_;
    int rate_;
    bool verbose_;
    bool quiet_;
    const std::atomic<bool>* stop_ = nullptr;
};

// ResultChannels
//   The channel count of an array a method returns, from the names in its
//   description: a result named Mono, Left or Right has one channel, one named
//   Stereo two, and so does the result of a method taking a Left and a Right
//   array; any other keeps the current count.
int ResultChannels(const Member& method, int current);

// ChannelOf
//   RETURNS one channel (0-based) of interleaved samples.
std::vector<SHORT> ChannelOf(std::span<const SHORT> interleaved, int channels, int channel);

}  // namespace sonalter
