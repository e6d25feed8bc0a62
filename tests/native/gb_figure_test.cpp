#include "platform/gb_figure.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <random>

namespace travik {
namespace {

// The check's minimums: 2 GB of memory, 1 GB of disk space.
constexpr double kMinimumMemoryGb = 2.0;
constexpr double kMinimumDiskGb = 1.0;

TEST(ToGB, FiguresAtTheThresholds) {
  struct Case {
    double bytes;
    const char* shown;
    double minimum;
    bool passes;
  };
  const Case cases[] = {
      {2147483648.0, "2.00", kMinimumMemoryGb, false},  // exactly 2 GiB is still below
      {2148227712.0, "2.00", kMinimumMemoryGb, false},
      {2148227713.0, "2.00", kMinimumMemoryGb, true},
      {1074113856.0, "1.00", kMinimumDiskGb, false},
      {1074113857.0, "1.00", kMinimumDiskGb, true},
      {17179869184.0, "15.99", kMinimumMemoryGb, true},  // 16 GiB
      {0.0, "0.00", kMinimumMemoryGb, false},            // failed memory query
      {-1.0, "0.00", kMinimumDiskGb, false},             // failed disk query: no minus sign
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const double figure = ToGB(c.bytes);
    EXPECT_EQ(FormatFixed2(figure, "."), c.shown);
    EXPECT_EQ(MeetsMinimum(figure, c.minimum), c.passes);
  }
  EXPECT_FALSE(MeetsMinimum(std::numeric_limits<double>::quiet_NaN(), kMinimumDiskGb));
}

// No byte count gives a figure of exactly 2 or 1 (above, the counts on either side of each), so
// "at least" is looked at on the figures themselves: the minimum passes, the double just below it
// fails.
TEST(MeetsMinimum, TheMinimumItselfPassesAndTheFigureJustBelowFails) {
  struct Case {
    double figure;
    double minimum;
    bool passes;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {kMinimumMemoryGb, kMinimumMemoryGb, true},
      {std::nextafter(kMinimumMemoryGb, 0.0), kMinimumMemoryGb, false},
      {std::nextafter(kMinimumMemoryGb, 4.0), kMinimumMemoryGb, true},
      {kMinimumDiskGb, kMinimumDiskGb, true},
      {std::nextafter(kMinimumDiskGb, 0.0), kMinimumDiskGb, false},
      {std::nextafter(kMinimumDiskGb, 2.0), kMinimumDiskGb, true},
      {nan, kMinimumMemoryGb, false},
      {nan, kMinimumDiskGb, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::setprecision(17) << c.figure << " against " << c.minimum);
    EXPECT_EQ(MeetsMinimum(c.figure, c.minimum), c.passes);
  }
}

TEST(ToGB, UsesTheDecimalFactorNotTheBinaryOne) {
  EXPECT_NEAR(ToGB(1e9), 0.931, 1e-15);
  EXPECT_EQ(ToGB(0.0), 0.0);
  EXPECT_EQ(ToGB(-1.0), -ToGB(1.0));
}

#if LDBL_MANT_DIG == 64
// Where long double is the 80-bit extended type, the integer computation must agree with it
// bit for bit: the product formed in extended precision and rounded to double.
TEST(ToGB, MatchesTheExtendedPrecisionProduct) {
  const long double factor = 9.31e-10L;
  std::mt19937_64 random(20261209);
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t raw = random() >> (random() % 64);
    const double bytes = static_cast<double>(raw);
    const auto expected = static_cast<double>(static_cast<long double>(bytes) * factor);
    ASSERT_EQ(ToGB(bytes), expected) << "bytes " << raw;
  }
}
#endif

TEST(FormatFixed2, RoundsEighteenDigitsThenTwoDecimals) {
  struct Case {
    double value;
    const char* separator;
    const char* expected;
  };
  const Case cases[] = {
      {7.99, ",", "7,99"},
      {15.99, ".", "15.99"},
      {0.125, ".", "0.13"},        // halves away from zero
      {-1.235, ".", "-1.24"},      // -1.23500000000000010 to 18 digits
      {2.675, ".", "2.67"},        // held as 2.67499999999999982
      {1000.005, ".", "1000.01"},  // held just below, but 1000.00500000000000 to 18 digits
      {999.995, ".", "1000.00"},   // carries into a new integer digit
      {0.005, ".", "0.01"},
      {0.0049, ".", "0.00"},
      {-0.004, ".", "0.00"},  // never "-0.00"
      {-0.0, ",", "0,00"},
      {1234567.891, ".", "1234567.89"},  // no thousands separator
      {123456789012345678.0, ".", "123456789012345680.00"},
      {2.0, "||", "2||00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FormatFixed2(c.value, c.separator), c.expected);
  }
  EXPECT_EQ(FormatFixed2(std::numeric_limits<double>::quiet_NaN(), "."), "NAN");
}

}  // namespace
}  // namespace travik
