#pragma once
// What the Windows benchmarks share: a monotonic clock, the median and the worst of a set of
// samples.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace travik::bench {

using travik::Clock;  // the program's own clock

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

// The count of rounds (or runs) the first argument asks for, `fallback` without one; nothing,
// after saying so, when it is not within 1..`most`.
[[nodiscard]] inline std::optional<int> CountArgument(int argc, char** argv, int fallback, int most,
                                                      const char* what = "rounds") {
  const int count = argc > 1 ? std::atoi(argv[1]) : fallback;
  if (count >= 1 && count <= most) return count;
  std::fprintf(stderr, "%s must be 1..%d\n", what, most);
  return std::nullopt;
}

[[nodiscard]] inline double Ratio(double numerator, double denominator) {
  return denominator > 0.0 ? numerator / denominator : 0.0;
}

}  // namespace travik::bench
