// Timing helpers shared by the benchmarks: a wall-clock duration in
// milliseconds and the median of repeated runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

// The median of a list of timings (the mean of the middle two for an even count).
inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Milliseconds that f takes, on the monotonic clock.
template <class F> double TimeMs(F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
