// Scaling the progress window's design grid to the screen. Portable, so the rounding rules are
// tested natively on any screen size.
//
// The two kinds of window round differently, and both rules are kept: the progress window's
// size and position are rounded down, the controls' values go to the nearest integer with a
// half going to the even neighbour (22.5 -> 22, 62.5 -> 62, 25.5 -> 26).
#pragma once

#include <cstdint>

namespace progress {

struct Rect {
  int32_t x, y, width, height;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// value * screen / grid, rounded down (towards minus infinity). Results beyond the 32-bit
// range, which no real screen produces, are held at its ends.
int32_t ScaleDown(int32_t value, int32_t screen, int32_t grid);

// value * screen / grid, rounded to the nearest integer, a half to the even neighbour.
// Held at the 32-bit range's ends like ScaleDown. `grid` must be positive.
int32_t ScaleHalfEven(int32_t value, int32_t screen, int32_t grid);

// The progress window on a screen of cx x cy pixels: 320 x 110 grid units, centred, every
// value rounded down.
Rect ProgressWindowRect(int32_t cx, int32_t cy);

// A control given in grid units, scaled to a screen of cx x cy pixels (halves to even).
Rect ScaledRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t cx, int32_t cy);

}  // namespace progress
