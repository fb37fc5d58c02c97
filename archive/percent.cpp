#include "archive/percent.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace eek {

namespace {

// Half to even without relying on the floating-point environment's rounding mode.
long double RoundHalfEven(long double v) {
  const long double down = std::floor(v);
  const long double fraction = v - down;
  if (fraction > 0.5L) return down + 1;
  if (fraction < 0.5L) return down;
  return std::fmod(down, 2.0L) == 0 ? down : down + 1;
}

}  // namespace

int32_t ComputePercent(int32_t bytesCounted, int32_t totalBytes) {
  if (totalBytes == 0) return 0;
  const long double quotient =
      static_cast<long double>(bytesCounted) / static_cast<long double>(totalBytes);
  const long double rounded = RoundHalfEven(quotient * 100.0L);
  // |bytesCounted| / |totalBytes| * 100 stays far inside long double's range, so only the
  // conversion to 32 bits needs guarding.
  constexpr long double kMax = std::numeric_limits<int32_t>::max();
  constexpr long double kMin = std::numeric_limits<int32_t>::min();
  if (rounded >= kMax) return std::numeric_limits<int32_t>::max();
  if (rounded <= kMin) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

std::string PercentText(int32_t percent) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, percent);
  std::string text;
  if (percent >= 0) text += ' ';
  text.append(digits, result.ptr);
  text += " %";
  return text;
}

}  // namespace eek
