#include "Suggest.h"

#include "Text.h"

#include <algorithm>

namespace sonalter {

size_t EditDistance(std::string_view a, std::string_view b) {
    const std::string x = Lower(a);
    const std::string y = Lower(b);
    const size_t n = x.size();
    const size_t m = y.size();
    // Three rows suffice for the transposition step.
    std::vector<size_t> older(m + 1), prev(m + 1), cur(m + 1);
    for (size_t j = 0; j <= m; ++j) prev[j] = j;
    for (size_t i = 1; i <= n; ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= m; ++j) {
            const size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                cur[j] = std::min(cur[j], older[j - 2] + 1);
            }
        }
        std::swap(older, prev);
        std::swap(prev, cur);
    }
    return prev[m];
}

std::vector<std::string> ClosestNames(std::string_view wanted, const std::vector<std::string>& names, size_t limit) {
    const std::string lowered = Lower(wanted);
    // Longer names tolerate more typing mistakes; very short input only matches closely.
    const size_t allowed = std::max<size_t>(1, std::min<size_t>(3, (lowered.size() + 2) / 4));
    struct Candidate {
        size_t score;
        std::string name;
    };
    std::vector<Candidate> found;
    for (const std::string& name : names) {
        const size_t distance = EditDistance(lowered, name);
        if (distance <= allowed) {
            found.push_back({distance, name});
        } else if (lowered.size() >= 3 && Lower(name).find(lowered) != std::string::npos) {
            found.push_back({allowed + 1, name});  // a part of the name: after the near misses
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
    std::vector<std::string> out;
    for (const Candidate& c : found) {
        if (out.size() == limit) break;
        out.push_back(c.name);
    }
    return out;
}

std::string JoinAlternatives(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
        out += names[i];
    }
    return out;
}

}  // namespace sonalter
