#pragma once
// The median the benchmarks print: robust to the outliers a shared, noisy machine produces.

#include <algorithm>
#include <vector>

namespace tq::test {

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::ranges::sort(v);
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace tq::test
