// --per-channel: the interleaved array split into one array per channel, each
// channel's chain run by its own transform object on its own thread, and the
// channels joined again. The split and the join move a few MiB at a time and
// give the moved part's memory back at once, so the samples exist about once
// throughout.
#pragma once

#include "Arguments.h"
#include "CsvOutput.h"
#include "Members.h"
#include "SafeArrays.h"

#include <functional>
#include <vector>

namespace sonalter {

class Component;

// SplitChannels
//   [in,out] whole     interleaved samples of `channels` channels; freed.
//   RETURNS one array per channel, in order (a trailing partial frame is dropped).
std::vector<ArrayOwner> SplitChannels(ArrayOwner& whole, int channels);

// JoinChannels
//   [in,out] parts  one array per channel; freed. A channel shorter than the
//                   longest is padded with silence.
//   RETURNS the interleaved array.
ArrayOwner JoinChannels(std::vector<ArrayOwner>& parts);

struct PerChannelRun {
    const MemberTable* members = nullptr;
    // Sets the properties of a fresh object as for the whole run (the channel
    // count is set here afterwards).
    std::function<void(Component&)> configure;
    int rate = 0;
    bool verbose = false;
    bool quiet = false;
    bool progress = false;  // draw the progress bar (of the first channel)
};

// RunPerChannel
//   Runs the chain on every channel at once, each on its own thread with its own
//   object (created in that thread's apartment) and its own event sink. Results
//   are the same as one object running the channels one after the other: the
//   objects share nothing. Returned values go to csv in channel order.
//   [in,out] samples   the interleaved array; replaced by the joined result
//   [in] channels      its channel count (more than one)
//   Throws what the first failing channel threw (Failure, UsageError or
//   Cancelled); the other channels stop before their next method.
void RunPerChannel(const std::vector<PreparedCall>& calls, ArrayOwner& samples, int channels,
                   const PerChannelRun& run, CsvOutput& csv);

}  // namespace sonalter
