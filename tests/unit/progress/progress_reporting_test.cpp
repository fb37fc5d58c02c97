#include "progress/progress_reporting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using progress::BarPosition;

// Records what reaches the window, in order: "text:<label>" and "pos:<n>".
class Recorder final : public progress::PercentForwarder {
 public:
  std::vector<std::string> seen;

 protected:
  void ShowLabel(std::string_view text) override { seen.push_back("text:" + std::string(text)); }
  void ShowPosition(int32_t percent) override { seen.push_back("pos:" + std::to_string(percent)); }
};

using Seen = std::vector<std::string>;

TEST(ProgressReporting, EachChangeSetsTheLabelThenPostsThePosition) {
  Recorder r;
  r.PercentChanged(5);
  r.PercentChanged(100);
  EXPECT_EQ(r.seen, (Seen{"text: 5 %", "pos:5", "text: 100 %", "pos:100"}));
}

TEST(ProgressReporting, BarPositionIsAtLeastOneWithNoUpperLimit) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(BarPosition(0), 1);
  EXPECT_EQ(BarPosition(-5), 1);
  EXPECT_EQ(BarPosition(kMin), 1);
  EXPECT_EQ(BarPosition(1), 1);
  EXPECT_EQ(BarPosition(100), 100);
  EXPECT_EQ(BarPosition(150), 150);
  EXPECT_EQ(BarPosition(kMax), kMax);
}

}  // namespace

namespace {

TEST(PercentText, BlankBeforeNonNegativeNumbersThenBlankAndPercentSign) {
  EXPECT_EQ(progress::PercentText(42).view(), " 42 %");
  EXPECT_EQ(progress::PercentText(5).view(), " 5 %");
  EXPECT_EQ(progress::PercentText(5).view().size(), 4u);
  EXPECT_EQ(progress::PercentText(100).view(), " 100 %");
  EXPECT_EQ(progress::PercentText(100).view().size(), 6u);
  EXPECT_EQ(progress::PercentText(0).view(), " 0 %");
  EXPECT_EQ(progress::PercentText(-3).view(), "-3 %");
  EXPECT_EQ(progress::PercentText(std::numeric_limits<int32_t>::min()).view(), "-2147483648 %");
  EXPECT_EQ(progress::PercentText(std::numeric_limits<int32_t>::max()).view(), " 2147483647 %");
}

}  // namespace
