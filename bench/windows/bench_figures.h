#pragma once
// What the Windows benchmarks share: a monotonic clock, the median and the worst of a set of
// samples.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace travik::bench {

using Clock = std::chrono::steady_clock;

[[nodiscard]] inline double MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

[[nodiscard]] inline double MicrosecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::micro>(to - from).count();
}

// The median of the samples (the mean of the two middle ones for an even count); 0 when empty.
[[nodiscard]] inline double Median(std::vector<double> samples) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  if (samples.size() % 2 == 1) return samples[middle];
  return (samples[middle - 1] + samples[middle]) / 2.0;
}

// The largest sample; 0 when empty.
[[nodiscard]] inline double Worst(const std::vector<double>& samples) {
  return samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end());
}

[[nodiscard]] inline double Ratio(double numerator, double denominator) {
  return denominator > 0.0 ? numerator / denominator : 0.0;
}

}  // namespace travik::bench
