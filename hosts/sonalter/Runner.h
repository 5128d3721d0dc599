// Running a prepared chain on the samples: one late-bound call per method, the
// current array passed by reference, returned arrays taking its place, returned
// values going to CSV, a progress bar per call and Ctrl-C checked after each.
// With --per-channel the chain runs on each channel on its own.
#pragma once

#include "Arguments.h"
#include "Component.h"
#include "CsvOutput.h"
#include "EventSink.h"
#include "Progress.h"
#include "SafeArrays.h"

#include <vector>

namespace sonalter {

class ChainRunner {
public:
    // [in] rate     the sampling rate (ArrayFrequency), for spectrum frequencies
    // [in] verbose  say each call before it starts
    // [in] quiet    no summary line after each call
    ChainRunner(Component& component, Progress& progress, EventSink& sink, CsvOutput& csv, int rate, bool verbose,
                bool quiet);

    // CheckPerChannel
    //   Throws UsageError when a call would change the channel count, which
    //   --per-channel cannot join back.
    static void CheckPerChannel(const std::vector<PreparedCall>& calls);

    // Run
    //   [in,out] samples   interleaved samples; replaced by the result
    //   [in,out] channels  their channel count; updated when a method returns an
    //                      array of another layout
    //   [in] perChannel    run on each channel separately
    //   Throws Failure for a failing call, Cancelled after Ctrl-C, UsageError for
    //   arguments that do not fit the audio.
    void Run(const std::vector<PreparedCall>& calls, std::vector<SHORT>& samples, int& channels, bool perChannel);

private:
    struct Track {
        ArrayOwner array;
        int channels = 1;
    };

    void RunCalls(const std::vector<PreparedCall>& calls, Track& track, int channel, int channelCount);
    void RunOne(const PreparedCall& call, size_t index, Track& track, int channel, int channelCount);
    Variant Invoke(const PreparedCall& call, Track& track, int channel, int channelCount);
    Variant Timed(const Member& method, const std::string& label, std::vector<VARIANTARG>& args);
    ArrayOwner CallOnArrays(const char* method, std::vector<SAFEARRAY**> arrays);
    std::vector<ArrayOwner> Split(Track& track);
    ArrayOwner Join(std::vector<ArrayOwner>& parts);
    void SetChannels(int channels);

    Component& component_;
    Progress& progress_;
    EventSink& sink_;
    CsvOutput& csv_;
    int rate_;
    bool verbose_;
    bool quiet_;
};

// ResultChannels
//   The channel count of an array a method returns, from the names in its
//   description: a result named Mono, Left or Right has one channel, one named
//   Stereo two, and so does the result of a method taking a Left and a Right
//   array; any other keeps the current count.
int ResultChannels(const Member& method, int current);

}  // namespace sonalter
