#include "progress/progress_geometry.h"

#include <limits>

#include "progress/progress_layout.h"

namespace progress {

namespace {

int32_t Saturate(int64_t value) {
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
  if (value < kLow) return static_cast<int32_t>(kLow);
  if (value > kHigh) return static_cast<int32_t>(kHigh);
  return static_cast<int32_t>(value);
}

// Floor quotient and the remainder that goes with it (0 <= remainder < divisor). The product of
// two 32-bit values always fits 64 bits, so the scaling is exact.
struct Division {
  int64_t quotient, remainder;
};
Division FloorDivide(int64_t numerator, int64_t divisor) {
  int64_t quotient = numerator / divisor;
  int64_t remainder = numerator % divisor;
  if (remainder < 0) {
    quotient -= 1;
    remainder += divisor;
  }
  return {quotient, remainder};
}

}  // namespace

int32_t ScaleDown(int32_t value, int32_t screen, int32_t grid) {
  return Saturate(FloorDivide(int64_t{value} * screen, grid).quotient);
}

int32_t ScaleHalfEven(int32_t value, int32_t screen, int32_t grid) {
  const Division d = FloorDivide(int64_t{value} * screen, grid);
  // Compare twice the remainder with the divisor: above is past the half, equal is the half.
  const int64_t twice = 2 * d.remainder;
  int64_t rounded = d.quotient;
  if (twice > grid || (twice == grid && (d.quotient & 1) != 0)) rounded += 1;
  return Saturate(rounded);
}

Rect ProgressWindowRect(int32_t cx, int32_t cy) {
  const int32_t width = ScaleDown(kWindowWidth, cx, kGridWidth);
  const int32_t height = ScaleDown(kWindowHeight, cy, kGridHeight);
  const int32_t x = Saturate(FloorDivide(int64_t{cx} - width, 2).quotient);
  const int32_t y = Saturate(FloorDivide(int64_t{cy} - height, 2).quotient);
  return {x, y, width, height};
}

Rect ScaledRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t cx, int32_t cy) {
  return {ScaleHalfEven(x, cx, kGridWidth), ScaleHalfEven(y, cy, kGridHeight),
          ScaleHalfEven(width, cx, kGridWidth), ScaleHalfEven(height, cy, kGridHeight)};
}

}  // namespace progress
