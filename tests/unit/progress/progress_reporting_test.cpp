#include "progress/progress_reporting.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tools/archive_writer.h"
#include "archive/memory_io.h"
#include "archive/walk.h"

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

class DiscardingSink final : public archive::EntrySink {
 public:
  void Begin(std::string_view) override {}
  void Write(const std::uint8_t*, std::size_t) override {}
  void End() override {}
};

// One layout-2 entry of `chunks` full 2048-byte chunks of literal runs: the walk counts the
// 10-byte header, then 2048 bytes a chunk, out of the archive's whole length.
std::vector<std::uint8_t> LiteralArchive(int chunks) {
  std::vector<std::uint8_t> stream;
  while (stream.size() < static_cast<std::size_t>(chunks) * 2048) {
    stream.push_back(0x7F);  // a run of 128
    stream.insert(stream.end(), 128, 'x');
  }
  stream.resize(static_cast<std::size_t>(chunks) * 2048 - 1);
  stream.back() = 'x';
  std::vector<std::uint8_t> archive;
  EXPECT_EQ(tools::AppendRecord(archive, archive::Layout::kHeader10, "a.bin", stream, 0), tools::RecordError::kNone);
  return archive;
}

// What the window is shown over a whole walk of `archive`.
Seen ShownOverAWalk(const std::vector<std::uint8_t>& archive) {
  archive::MemorySource source(archive);
  DiscardingSink sink;
  // The launcher's hand-over from the walk to the window, as in ExtractArchive.
  struct WalkToRecorder final : archive::ProgressReport {
    Recorder recorder;
    void PercentChanged(int32_t percent) override { recorder.PercentChanged(percent); }
  } report;
  archive::WalkArchive(source, sink, report);
  return report.recorder.seen;
}

TEST(ProgressReporting, EachChangeSetsTheLabelThenPostsThePosition) {
  Recorder r;
  r.PercentChanged(5);
  r.PercentChanged(100);
  EXPECT_EQ(r.seen, (Seen{"text: 5 %", "pos:5", "text: 100 %", "pos:100"}));
}

TEST(ProgressReporting, OverAWalkNothingIsShownForZeroPercentAndEachChangeOnce) {
  // 400 chunks: each adds about a quarter of a percent, so most chunks leave the rounded
  // percentage where it was, and the first ones round to 0.
  const Seen seen = ShownOverAWalk(LiteralArchive(400));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "text: 1 %");
  EXPECT_EQ(seen.back(), "pos:100");
  ASSERT_EQ(seen.size(), 200u);  // 1 % to 100 %, each a text then a position
  for (std::size_t i = 0; i < seen.size(); i += 2) {
    const int percent = static_cast<int>(i / 2) + 1;
    EXPECT_EQ(seen[i], "text: " + std::to_string(percent) + " %");
    EXPECT_EQ(seen[i + 1], "pos:" + std::to_string(percent));
  }
}

TEST(ProgressReporting, OverAWalkLargeStepsAreNotFilledIn) {
  // 20 chunks: the percentage moves about 5 at a time, and only the values reached are shown.
  const Seen seen = ShownOverAWalk(LiteralArchive(20));
  ASSERT_EQ(seen.size(), 40u);
  EXPECT_EQ(seen[0], "text: 5 %");
  EXPECT_EQ(seen[2], "text: 10 %");
  EXPECT_EQ(seen.back(), "pos:100");
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
