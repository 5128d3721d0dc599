// Memory for a run, decided before the input is read: what the chain needs at
// its fullest and what the machine can give, so a file too large is refused up
// front instead of failing (or being killed) halfway.
#pragma once

#include "Arguments.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonalter {

struct MemoryNeed {
    std::uint64_t arrayBytes = 0;  // the input's sample array
    std::uint64_t peakBytes = 0;   // the most the run holds at one time, margin included
    std::string why;               // what makes the peak, for the message
};

// The tool's own share besides the arrays: code, libraries, read and write
// buffers, the chain's small arrays.
inline constexpr std::uint64_t kMemoryMargin = std::uint64_t{16} << 20;

// EstimateMemory
//   [in] calls       the prepared chain (file arguments included)
//   [in] samples     the input's samples (frames times channels)
//   [in] channels    the input's channel count
//   [in] perChannel  split into one array per channel
//   RETURNS the need. Methods that change the array in place cost nothing more;
//   one that returns a new array holds the old and the new while it runs (the
//   new one sized by its channel count); --per-channel's split and join hold a
//   few MiB twice (within the margin); each file argument counts twice
//   (as read, and the copy a call gets). What a method allocates inside the component for
//   its own work is not known here and is left to the margin.
MemoryNeed EstimateMemory(const std::vector<PreparedCall>& calls, std::uint64_t samples, int channels,
                          bool perChannel);

// AvailableMemory
//   RETURNS the bytes this process can still take without swapping or being
//   stopped: the smallest of the system's available memory, its control group's
//   limit less its use, and the address-space and data limits less what is
//   already mapped; nothing when none of them can be read.
std::optional<std::uint64_t> AvailableMemory();

// CheckMemory
//   Throws Failure when need.peakBytes exceeds available or the user's limit:
//   "cannot process IN: it needs about 318 MiB of memory (...), but only about
//   200 MiB are available; ..."
//   [in] available  from AvailableMemory (nothing: no system bound)
//   [in] userLimit  --max-memory, or nothing
void CheckMemory(const MemoryNeed& need, std::optional<std::uint64_t> available,
                 std::optional<std::uint64_t> userLimit, const std::string& input);

// ParseByteSize
//   Reads "512M", "2G", "1.5GiB", "300000000" (K, M, G, T are powers of 1024;
//   an optional "B" or "iB" may follow).
//   RETURNS the bytes; throws UsageError naming what for anything else.
std::uint64_t ParseByteSize(const std::string& text, const std::string& what);

// Mebibytes
//   RETURNS bytes as "106 MiB", or "12.5 GiB" from 10 GiB on (rounded up).
std::string Mebibytes(std::uint64_t bytes);

}  // namespace sonalter
