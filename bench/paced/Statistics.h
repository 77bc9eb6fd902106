#pragma once
// Order statistics of a benchmark's samples: one disturbed round (another
// process taking the core) moves a median little, where it would move a mean a lot.
#include <algorithm>
#include <cmath>
#include <vector>

inline double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double at = q * double(v.size() - 1);
    const size_t low = size_t(std::floor(at));
    const size_t high = std::min(v.size() - 1, low + 1);
    return v[low] + (v[high] - v[low]) * (at - double(low));
}

inline double Median(const std::vector<double>& v) { return Quantile(v, 0.5); }

inline double Maximum(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
