// Figures shared by the benchmarks.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// The median of a few timed runs: the machine's other work disturbs it least.
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Two measures of the same work, ours and a peer's, taken side by side: each round runs both, one
// after the other, so that the machine's other work falls on both alike; each one's median.
struct SideBySide {
    double ours, peer;
    double Ratio() const { return peer ? ours / peer : 0; }
};
template <typename Ours, typename Peer>
SideBySide MeasurePair(int rounds, Ours&& ours, Peer&& peer) {
    std::vector<double> a, b;
    for (int i = 0; i < rounds; ++i) {
        a.push_back(ours());
        b.push_back(peer());
    }
    return {Median(a), Median(b)};
}

// One figure of the summary table that ./bench.sh prints at the end, as the line
// "RESULT <benchmark> <kernel> <ours> <peer> <ours/peer> <unit>"; the benchmark is the program's name.
inline void Result(const std::string& kernel, double ours, double peer, const char* unit) {
    auto digits = [](double v) { return v >= 100 ? 1 : v >= 1 ? 2 : 4; };
    std::printf("RESULT %s %s %.*f %.*f %.3f %s\n", program_invocation_short_name, kernel.c_str(),
                digits(ours), ours, digits(peer), peer, peer ? ours / peer : 0, unit);
    std::fflush(stdout);
}

}  // namespace bench
