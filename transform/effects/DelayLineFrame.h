// How the delay-line effects run in the transform frame. They depart from the
// common shape in three places:
//  - the edge length is raised to twice the delay D for the call (so that the
//    blend covers at least the ramp-in of the delayed signal), and the head is
//    blended from entry D on, since the first D entries are never rewritten;
//  - the first D samples only feed the delay line: they are not written, and have
//    no cancel test and no progress event;
//  - the loop index of the cancel test and the progress events is the sample
//    index i >= D, with the progress step n / 100 of the whole array.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/TransformFrame.h"

namespace qelv {

// feed(samples, begin, end) runs entries [begin, end) through the line without
// writing them; process(samples, begin, end) runs and writes them. Both keep the
// line's state from one call to the next, so the ranges follow each other.
template <class Feed, class Process>
Outcome RunDelayLine(TransformFrame& frame, std::size_t delay, Feed&& feed, Process&& process) {
    if (HRESULT hr = frame.SaveEdges(2 * static_cast<long long>(delay), delay); FAILED(hr)) return Outcome::Failed(hr);
    std::int16_t* a = frame.data();
    const std::size_t n = frame.size();
    feed(a, std::size_t{0}, delay);
    return frame.Run(n - delay, n, delay, 1,
                     [a, delay, &process](std::size_t b, std::size_t e) { process(a, delay + b, delay + e); });
}

}  // namespace qelv
