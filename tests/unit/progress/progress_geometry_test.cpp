#include "progress/progress_geometry.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "progress/progress_layout.h"

namespace {

using progress::ProgressWindowRect;
using progress::Rect;
using progress::ScaledRect;
using progress::ScaleDown;
using progress::ScaleHalfEven;

Rect Label(int32_t cx, int32_t cy) {
  const auto& l = progress::kLabel;
  return ScaledRect(l.x, l.y, l.width, l.height, cx, cy);
}
Rect Bar(int32_t cx, int32_t cy) {
  const auto& b = progress::kBar;
  return ScaledRect(b.x, b.y, b.width, b.height, cx, cy);
}

struct Screen {
  int32_t cx, cy;
  Rect window, label, bar;
};

// The worked table the window is laid out by.
constexpr Screen kWorked[] = {
    {640, 480, {160, 185, 320, 110}, {20, 20, 280, 20}, {20, 50, 280, 18}},
    {800, 600, {200, 231, 400, 137}, {25, 25, 350, 25}, {25, 62, 350, 22}},
    {1024, 768, {256, 296, 512, 176}, {32, 32, 448, 32}, {32, 80, 448, 29}},
};

TEST(ProgressGeometry, WorkedScreensMatchTheTable) {
  for (const Screen& s : kWorked) {
    SCOPED_TRACE(testing::Message() << s.cx << "x" << s.cy);
    EXPECT_EQ(ProgressWindowRect(s.cx, s.cy), s.window);
    EXPECT_EQ(Label(s.cx, s.cy), s.label);
    EXPECT_EQ(Bar(s.cx, s.cy), s.bar);
  }
}

TEST(ProgressGeometry, WindowRoundsDownWhereControlsRoundHalfToEven) {
  // 800 x 600: the window's 137.5 goes down to 137 and its top 231.5 to 231, while the bar's
  // 22.5 and 62.5 go to their even neighbours 22 and 62.
  EXPECT_EQ(ProgressWindowRect(800, 600).height, 137);
  EXPECT_EQ(ProgressWindowRect(800, 600).y, 231);
  EXPECT_EQ(Bar(800, 600).height, 22);
  EXPECT_EQ(Bar(800, 600).y, 62);
  // 25.5 goes up to the even 26 (20 * 816 / 640).
  EXPECT_EQ(ScaleHalfEven(20, 816, 640), 26);
  // Not a half: nearest wins either way.
  EXPECT_EQ(ScaleHalfEven(18, 767, 480), 29);  // 28.7625
  EXPECT_EQ(ScaleHalfEven(20, 1366, 640), 43);  // 42.6875
  EXPECT_EQ(ScaleHalfEven(20, 1, 640), 0);     // 0.03125
}

TEST(ProgressGeometry, OddScreensHandWorked) {
  // 1023 x 767: W = 511.5 -> 511, X = 256; H = 175.77 -> 175, Y = 296.
  EXPECT_EQ(ProgressWindowRect(1023, 767), (Rect{256, 296, 511, 175}));
  // 1366 x 768: W = 683, X = 341.5 -> 341; label 42.6875 -> 43 and 597.625 -> 598.
  EXPECT_EQ(ProgressWindowRect(1366, 768), (Rect{341, 296, 683, 176}));
  EXPECT_EQ(Label(1366, 768), (Rect{43, 32, 598, 32}));
  // 641 x 481: everything a hair above the 640 x 480 grid.
  EXPECT_EQ(ProgressWindowRect(641, 481), (Rect{160, 185, 320, 110}));
  EXPECT_EQ(Bar(641, 481), (Rect{20, 50, 280, 18}));
}

// An independent reference in floating point: floor for the window, the FPU's default
// round-to-nearest-even for the controls. Exact for these sizes, because a quotient that is not
// a half lies at least 1/640 away from one.
double Exact(int32_t value, int32_t screen, int32_t grid) {
  return static_cast<double>(value) * screen / grid;
}

TEST(ProgressGeometry, EveryScreenUpTo4096MatchesAFloatingPointReference) {
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  for (int32_t c = 0; c <= 4096; ++c) {
    const Rect window = ProgressWindowRect(c, c);
    const int32_t width = static_cast<int32_t>(std::floor(Exact(320, c, 640)));
    const int32_t height = static_cast<int32_t>(std::floor(Exact(110, c, 480)));
    ASSERT_EQ(window.width, width) << c;
    ASSERT_EQ(window.height, height) << c;
    ASSERT_EQ(window.x, static_cast<int32_t>(std::floor((c - width) / 2.0))) << c;
    ASSERT_EQ(window.y, static_cast<int32_t>(std::floor((c - height) / 2.0))) << c;
    const Rect bar = Bar(c, c);
    ASSERT_EQ(bar.x, static_cast<int32_t>(std::nearbyint(Exact(20, c, 640)))) << c;
    ASSERT_EQ(bar.y, static_cast<int32_t>(std::nearbyint(Exact(50, c, 480)))) << c;
    ASSERT_EQ(bar.width, static_cast<int32_t>(std::nearbyint(Exact(280, c, 640)))) << c;
    ASSERT_EQ(bar.height, static_cast<int32_t>(std::nearbyint(Exact(18, c, 480)))) << c;
  }
}

TEST(ProgressGeometry, NegativeValuesRoundTheSameWay) {
  EXPECT_EQ(ScaleDown(-1, 1, 2), -1);        // -0.5 down
  EXPECT_EQ(ScaleHalfEven(-45, 1, 2), -22);  // -22.5 to even
  EXPECT_EQ(ScaleHalfEven(-51, 1, 2), -26);  // -25.5 to even
  EXPECT_EQ(ScaleHalfEven(-20, 800, 640), -25);
}

TEST(ProgressGeometry, ExtremeInputsAreHeldAtTheIntegerRange) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(ScaleDown(kMax, kMax, 1), kMax);
  EXPECT_EQ(ScaleHalfEven(kMin, kMax, 1), kMin);
  EXPECT_EQ(ScaleHalfEven(kMax, 2, 640), static_cast<int32_t>((int64_t{kMax} * 2 + 320) / 640));
  // A failing screen query reads as 0 x 0: an empty window at the origin, no crash.
  EXPECT_EQ(ProgressWindowRect(0, 0), (Rect{0, 0, 0, 0}));
  // Absurdly large screens still centre inside the range.
  const Rect huge = ProgressWindowRect(kMax, kMax);
  EXPECT_EQ(huge.width, kMax / 2);
  EXPECT_EQ(huge.x, (kMax - kMax / 2) / 2);
}

}  // namespace
