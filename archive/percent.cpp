#include "archive/percent.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace archive {

int32_t ComputePercent(int32_t bytesCounted, int32_t totalBytes) {
  if (totalBytes == 0) return 0;
  const long double quotient =
      static_cast<long double>(bytesCounted) / static_cast<long double>(totalBytes);
  const long double percent = quotient * 100.0L;
  // |bytesCounted / totalBytes| * 100 stays far inside long double's range; only the way to
  // 32 bits needs guarding.
  constexpr long double kMax = std::numeric_limits<int32_t>::max();
  constexpr long double kMin = std::numeric_limits<int32_t>::min();
  if (percent >= kMax) return std::numeric_limits<int32_t>::max();
  if (percent <= kMin) return std::numeric_limits<int32_t>::min();
  // Half to even, without relying on the floating-point environment's rounding mode.
  const long double down = std::floor(percent);
  const auto whole = static_cast<int64_t>(down);
  const long double fraction = percent - down;
  const bool up = fraction > 0.5L || (fraction == 0.5L && (whole & 1) != 0);
  const int64_t rounded = whole + (up ? 1 : 0);
  return static_cast<int32_t>(std::clamp<int64_t>(rounded, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace archive
