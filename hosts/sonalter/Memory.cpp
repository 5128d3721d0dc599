#include "Memory.h"

#include "Errors.h"
#include "Runner.h"
#include "Text.h"

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace sonalter {

namespace {

// A "Name:   1234 kB" line of a /proc status file, in bytes.
std::optional<std::uint64_t> KilobyteField(const char* path, const std::string& name) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with(name + ":")) continue;
        std::istringstream fields(line.substr(name.size() + 1));
        std::uint64_t kb = 0;
        if (fields >> kb) return kb * 1024;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> NumberIn(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    if (!(in >> text) || text == "max") return std::nullopt;
    try {
        return std::stoull(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The control group's limit less its use (cgroup v2).
std::optional<std::uint64_t> GroupRoom() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.starts_with("0::")) continue;
        const std::string folder = "/sys/fs/cgroup" + line.substr(3);
        const std::optional<std::uint64_t> limit = NumberIn(folder + "/memory.max");
        const std::optional<std::uint64_t> used = NumberIn(folder + "/memory.current");
        if (!limit) return std::nullopt;
        return *limit > used.value_or(0) ? *limit - used.value_or(0) : 0;
    }
    return std::nullopt;
}

// A resource limit less what already counts against it.
std::optional<std::uint64_t> LimitRoom(int resource, const char* statusField) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    const std::uint64_t used = KilobyteField("/proc/self/status", statusField).value_or(0);
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

void KeepSmaller(std::optional<std::uint64_t>& best, std::optional<std::uint64_t> other) {
    if (other && (!best || *other < *best)) best = other;
}

}  // namespace

MemoryNeed EstimateMemory(const std::vector<PreparedCall>& calls, std::uint64_t samples, int channels,
                          bool perChannel) {
    MemoryNeed need;
    need.arrayBytes = samples * sizeof(SHORT);
    std::uint64_t others = 0;
    for (const PreparedCall& c : calls) {
        for (const Argument& a : c.args) others += ElementCount(a.audio.get()) * sizeof(SHORT);
    }
    others *= 2;  // each call gets its own copy (of its channel, with --per-channel)

    std::uint64_t peak = need.arrayBytes;
    need.why = Mebibytes(need.arrayBytes) + " of samples";
    // Splitting and joining channels move a few MiB at a time: within the margin.
    std::uint64_t current = need.arrayBytes;
    int layout = channels;
    for (const PreparedCall& c : calls) {
        const Member& m = *c.call->method;
        if (m.result.kind != ValueKind::SampleArray) continue;
        const int after = perChannel ? layout : ResultChannels(m, layout);
        const std::uint64_t made = current * static_cast<std::uint64_t>(std::max(after, 1)) /
                                   static_cast<std::uint64_t>(std::max(layout, 1));
        if (current + made > peak) {
            peak = current + made;
            need.why = Mebibytes(need.arrayBytes) + " of samples; " + m.name + " holds its " + Mebibytes(made) +
                       " result beside the " + Mebibytes(current) + " array it replaces";
        }
        current = made;
        layout = after;
    }
    if (others > 0) need.why += "; " + Mebibytes(others) + " for the other audio files";
    need.peakBytes = peak + others + kMemoryMargin;
    return need;
}

std::optional<std::uint64_t> AvailableMemory() {
    std::optional<std::uint64_t> room = KilobyteField("/proc/meminfo", "MemAvailable");
    KeepSmaller(room, GroupRoom());
    KeepSmaller(room, LimitRoom(RLIMIT_AS, "VmSize"));
    KeepSmaller(room, LimitRoom(RLIMIT_DATA, "VmData"));
    return room;
}

void CheckMemory(const MemoryNeed& need, std::optional<std::uint64_t> available,
                 std::optional<std::uint64_t> userLimit, const std::string& input) {
    if (userLimit && need.peakBytes > *userLimit) {
        throw Failure("cannot process " + input + ": it needs about " + Mebibytes(need.peakBytes) + " of memory (" +
                      need.why + "), more than --max-memory " + Mebibytes(*userLimit) +
                      " allows; raise the limit or work on a shorter piece");
    }
    if (available && need.peakBytes > *available) {
        throw Failure("cannot process " + input + ": it needs about " + Mebibytes(need.peakBytes) + " of memory (" +
                      need.why + "), but only about " + Mebibytes(*available) +
                      " are available; free memory or work on a shorter piece");
    }
}

std::uint64_t ParseByteSize(const std::string& text, const std::string& what) {
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    std::string unit = Lower(text.substr(used));
    if (unit.ends_with("ib")) unit.resize(unit.size() - 2);
    else if (unit.ends_with("b") && unit.size() == 2) unit.resize(1);
    double scale = 0;
    if (unit.empty() || unit == "b") scale = 1;
    else if (unit == "k") scale = 1024.0;
    else if (unit == "m") scale = 1024.0 * 1024;
    else if (unit == "g") scale = 1024.0 * 1024 * 1024;
    else if (unit == "t") scale = 1024.0 * 1024 * 1024 * 1024;
    const double bytes = value * scale;
    if (used == 0 || scale == 0 || !(bytes >= 1) || bytes > 1e18) {
        throw UsageError(what + ": bad size '" + text + "'; give bytes or a number with K, M, G or T (512M, 2G)");
    }
    return static_cast<std::uint64_t>(bytes);
}

std::string Mebibytes(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    if (bytes >= (std::uint64_t{10} << 30)) {
        return Fixed(std::ceil(static_cast<double>(bytes) / (kMiB * 1024.0) * 10) / 10, 1) + " GiB";
    }
    return std::to_string((bytes + kMiB - 1) / kMiB) + " MiB";
}

}  // namespace sonalter
