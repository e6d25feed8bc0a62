#pragma once
// The "GB figure" in which memory and disk space are shown and compared, and its "0.00" format.
#include <string>
#include <string_view>

namespace travik {

// bytes x 9.31e-10, with the factor held as the 80-bit extended value nearest to 9.31e-10 and the
// product rounded to extended precision and then to double. Computed with integers so that every
// compiler gives the same double, whether or not its long double has 64 significand bits.
[[nodiscard]] double ToGB(double bytes);

// At least the threshold; a figure that is not a number never passes.
[[nodiscard]] inline bool MeetsMinimum(double figure, double minimum) {
  return figure >= minimum;
}

// "0.00": the value to 18 significant digits, then to two decimals with halves away from zero,
// no thousands separator, never "-0.00". `separator` is the user's decimal separator.
[[nodiscard]] std::string FormatFixed2(double value, std::string_view separator);

}  // namespace travik
