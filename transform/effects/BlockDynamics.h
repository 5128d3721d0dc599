// The block-wise level follower of Compressor and Expander: the array is cut
// into blocks of N samples overlapping by H = N / 2, each block gets one gain by
// its peak, and the blocks are joined by an overlap-add whose squared-sine
// weights sum to one. All block arithmetic is in 32-bit floats, each product and
// sum rounded to a float where it is formed.
#pragma once

#include "transform/dsp/SineWindow.h"

#include <cstddef>
#include <cstdint>

namespace qelv::dsp {

// The gain rule of one block by its peak.
struct DynamicsLaw {
    bool expander;  // false: compressor
    float threshold;
    float rate;
};

// Threshold amplitude 10^(dB / 20) * 32767 in double precision, stored as a
// float, then limited to 0 .. 32767 (NaN stays NaN: no block then passes the
// comparison, so nothing is changed by the gain).
float DynamicsThreshold(float decibels);
// CompressionRate / 100 as a float, unlimited.
float CompressorRate(float percent);
// ExpansionRate / 100 as a float, limited to 0 .. 1.
float ExpanderRate(float percent);

// Block length for RMSTime (not NaN): trunc(frequency * ms / 1000) with the
// product in extended precision, 2 when that is 0 or less, rounded down to an
// even number (a count of 1, which would give an empty block, gives 2), and at most 2 n (a longer block would make the lead-in and
// lead-out run past the array; every block length from n up leaves the array
// unchanged but for rounding, so shortening keeps that behaviour).
std::size_t DynamicsBlockLength(std::int32_t frequency, float milliseconds, std::size_t n);

// The gain a block with this peak gets, or 1 when its rule does not act (the
// caller then skips the multiplication).
bool DynamicsGain(const DynamicsLaw& law, float peak, float* gain);


// One pass over a[0 .. n-1] with work buffers win (filled), blk and ovl of N
// floats each. Usage: LeadIn(); while (HasBlock()) { percent = NextBlock(); .. }
// LeadOut().
class BlockDynamics {
public:
    BlockDynamics(std::int16_t* a, std::size_t n, std::size_t N, DynamicsLaw law, const float* win, float* blk,
                  float* ovl)
        : a_(a), n_(n), N_(N), H_(N / 2), law_(law), win_(win), blk_(blk), ovl_(ovl) {}

    // Keeps the first half block's input and fades it out by the falling half of
    // the squared window (|a * w * w| <= 32768 needs no clipping).
    void LeadIn();
    bool HasBlock() const { return pos_ + N_ < n_; }
    // Processes the block at the current position, advances by H and returns the
    // block's progress percent ((pos + H) * 100 / n) mod 100, in 64-bit integers.
    std::int32_t NextBlock();
    // Fades the last block's output out and the kept input in; the entries from
    // pos + H on keep their input values.
    void LeadOut();
    std::size_t position() const { return pos_; }

private:
    std::int16_t* a_;
    std::size_t n_;
    std::size_t N_;
    std::size_t H_;
    DynamicsLaw law_;
    const float* win_;
    float* blk_;
    float* ovl_;
    std::size_t pos_ = 0;
};

}  // namespace qelv::dsp
