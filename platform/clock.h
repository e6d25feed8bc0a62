#pragma once
// The one clock of the program's waits and durations, and the two sums made with it.
#include <chrono>
#include <cstdint>

namespace travik {

using Clock = std::chrono::steady_clock;

// What is left until `deadline`, in whole milliseconds rounded up (0 or less: none).
[[nodiscard]] inline long long MillisecondsLeft(Clock::time_point deadline) {
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// Whole milliseconds since `start`, rounded down.
[[nodiscard]] inline std::int64_t MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace travik
