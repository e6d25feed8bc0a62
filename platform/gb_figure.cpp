#include "platform/gb_figure.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace travik {
namespace {

// 9.31e-10 as the nearest 80-bit extended value: kFactorSignificand x 2^kFactorExponent.
constexpr std::uint64_t kFactorSignificand = 0xFFE94D0327E8F0BFull;
constexpr int kFactorExponent = -94;

struct U128 {
  std::uint64_t hi = 0;
  std::uint64_t lo = 0;
};

U128 Multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_lo = a & 0xFFFFFFFFu, a_hi = a >> 32;
  const std::uint64_t b_lo = b & 0xFFFFFFFFu, b_hi = b >> 32;
  const std::uint64_t lo_lo = a_lo * b_lo, hi_lo = a_hi * b_lo, lo_hi = a_lo * b_hi;
  const std::uint64_t hi_hi = a_hi * b_hi;
  const std::uint64_t middle = (lo_lo >> 32) + (hi_lo & 0xFFFFFFFFu) + lo_hi;
  return {hi_hi + (hi_lo >> 32) + (middle >> 32), (middle << 32) | (lo_lo & 0xFFFFFFFFu)};
}

int BitLength(const U128& v) {
  int n = 0;
  for (std::uint64_t w = v.hi ? v.hi : v.lo; w != 0; w >>= 1) ++n;
  return v.hi ? n + 64 : n;
}

// v >> shift (0 < shift < 128) rounded to nearest, ties to even; `exponent` grows by shift.
U128 ShiftRightRounded(const U128& v, int shift, int& exponent) {
  auto bit = [&](int i) -> std::uint64_t {
    return i >= 64 ? (v.hi >> (i - 64)) & 1u : (v.lo >> i) & 1u;
  };
  U128 r;
  if (shift >= 64) {
    r.lo = shift == 64 ? v.hi : v.hi >> (shift - 64);
  } else {
    r.lo = (v.lo >> shift) | (shift ? v.hi << (64 - shift) : 0);
    r.hi = v.hi >> shift;
  }
  const bool half = bit(shift - 1) != 0;
  bool below = false;
  for (int i = 0; i < shift - 1 && !below; ++i) below = bit(i) != 0;
  if (half && (below || (r.lo & 1u))) {
    if (++r.lo == 0) ++r.hi;
  }
  exponent += shift;
  return r;
}

// Rounds the integer part of m x 2^e to `bits` significant bits.
U128 RoundToBits(U128 m, int& e, int bits) {
  const int length = BitLength(m);
  if (length <= bits) return m;
  m = ShiftRightRounded(m, length - bits, e);
  if (BitLength(m) > bits) m = ShiftRightRounded(m, 1, e);  // the rounding carried out
  return m;
}

}  // namespace

double ToGB(double bytes) {
  if (!std::isfinite(bytes)) return bytes * 9.31e-10;
  if (bytes == 0) return std::signbit(bytes) ? -0.0 : 0.0;
  int bytes_exponent = 0;
  const double fraction = std::frexp(std::fabs(bytes), &bytes_exponent);  // [0.5, 1)
  const auto bytes_significand = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  int e = bytes_exponent - 53 + kFactorExponent;
  U128 product = Multiply(bytes_significand, kFactorSignificand);
  product = RoundToBits(product, e, 64);  // the extended-precision product
  product = RoundToBits(product, e, 53);  // then to double
  const double magnitude = std::ldexp(static_cast<double>(product.lo), e);
  return bytes < 0 ? -magnitude : magnitude;
}

std::string FormatFixed2(double value, std::string_view separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // 18 significant digits, correctly rounded: "d.ddddddddddddddddde[+-]x".
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 17);
  std::string text(buffer, result.ptr);
  const bool negative = text.front() == '-';
  if (negative) text.erase(0, 1);
  const std::size_t e_at = text.find('e');
  const int exponent = std::atoi(text.c_str() + e_at + 1);
  std::string digits = text.substr(0, 1) + text.substr(2, e_at - 2);  // 18 digits
  // Decimal point after (exponent + 1) digits; keep exactly two decimals, halves away from zero.
  const int integer_digits = exponent + 1;
  const int keep = integer_digits + 2;  // digits kept, counted from the first one
  std::string kept;                     // integer and two decimal digits, no point
  if (keep <= 0) {
    // Nothing reaches the second decimal; only rounding can make it 0.01.
    kept = (keep == 0 && digits[0] >= '5') ? "1" : "0";
  } else {
    const bool round_up = keep < static_cast<int>(digits.size()) && digits[keep] >= '5';
    kept = digits.substr(0, std::min<std::size_t>(keep, digits.size()));
    kept.append(keep > static_cast<int>(kept.size()) ? keep - kept.size() : 0, '0');
    if (round_up) {
      int i = static_cast<int>(kept.size()) - 1;
      for (; i >= 0 && kept[i] == '9'; --i) kept[i] = '0';
      if (i >= 0) {
        ++kept[i];
      } else {
        kept.insert(kept.begin(), '1');
      }
    }
  }
  if (kept.size() < 3) kept.insert(0, 3 - kept.size(), '0');
  const std::size_t first_nonzero = kept.find_first_not_of('0');
  std::size_t start = std::min(first_nonzero, kept.size() - 3);
  std::string out = kept.substr(start, kept.size() - 2 - start);
  out.append(separator);
  out.append(kept.substr(kept.size() - 2));
  const bool is_zero = first_nonzero == std::string::npos;
  return (negative && !is_zero) ? "-" + out : out;
}

}  // namespace travik
