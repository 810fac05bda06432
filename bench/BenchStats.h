// Figures shared by the benchmarks.
#pragma once

#include <algorithm>
#include <vector>

namespace bench {

// The median of a few timed runs: the machine's other work disturbs it least.
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace bench
