// The percentage and its text.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "archive/percent.h"

namespace archive {
namespace {

// Exact rational rounding, half to even, for checking away from ties.
int64_t ExactPercent(int64_t counted, int64_t total, bool* tie) {
  const int64_t scaled = counted * 100;
  int64_t q = scaled / total;
  int64_t r = scaled % total;
  if (r < 0) { r += total; q -= 1; }
  *tie = 2 * r == total;
  if (2 * r > total || (*tie && q % 2 != 0)) ++q;
  return q;
}

TEST(Percent, MatchesExactRoundingAwayFromTies) {
  int checked = 0;
  for (int32_t total = 1; total <= 700; total += 3) {
    for (int32_t counted = 0; counted <= total + 50; ++counted) {
      bool tie = false;
      const int64_t exact = ExactPercent(counted, total, &tie);
      if (tie) continue;
      ASSERT_EQ(ComputePercent(counted, total), exact) << counted << "/" << total;
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
}

TEST(Percent, ExactHalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(ComputePercent(1, 8), 12);    // 12.5
  EXPECT_EQ(ComputePercent(3, 8), 38);    // 37.5
  EXPECT_EQ(ComputePercent(5, 8), 62);    // 62.5
  EXPECT_EQ(ComputePercent(1, 400), 0);   // 0.25
  EXPECT_EQ(ComputePercent(1, 128), 1);   // 0.78125
  EXPECT_EQ(ComputePercent(1, 1024), 0);  // 0.09765625
  EXPECT_EQ(ComputePercent(3, 2048), 0);  // 0.146484375
  EXPECT_EQ(ComputePercent(65, 128), 51); // 50.78125
}

TEST(Percent, QuotientFirstInExtendedPrecision) {
  // Large values keep their precision: one byte short of the total is not 100 %.
  EXPECT_EQ(ComputePercent(2147483646, 2147483647), 100);
  EXPECT_EQ(ComputePercent(1073741823, 2147483647), 50);
  EXPECT_EQ(ComputePercent(21474836, 2147483647), 1);
  EXPECT_EQ(ComputePercent(10737418, 2147483647), 0);  // 0.49999999
  // 59 / 200 = 0.295 has no exact binary form; the extended quotient lies just below it, so
  // the product is just below 29.5 and rounds down. Multiplying first would give the exact
  // half 29.5 and round to 30.
  EXPECT_EQ(ComputePercent(59, 200), 29);
  EXPECT_EQ(ComputePercent(295, 1000), 29);
}

TEST(Percent, DefinedForEveryInput) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(ComputePercent(0, 0), 0);
  EXPECT_EQ(ComputePercent(5000, 0), 0);
  EXPECT_EQ(ComputePercent(-5000, 0), 0);
  EXPECT_EQ(ComputePercent(kMax, 1), kMax);         // 214748364700 % clamps
  EXPECT_EQ(ComputePercent(kMax, -1), kMin);
  EXPECT_EQ(ComputePercent(kMin, 1), kMin);
  EXPECT_EQ(ComputePercent(300, 100), 300);         // a damaged archive may count past 100
  EXPECT_EQ(ComputePercent(50, -100), -50);
  EXPECT_EQ(ComputePercent(kMax, kMax), 100);
  EXPECT_EQ(ComputePercent(kMin, kMin), 100);
}

}  // namespace
}  // namespace archive
