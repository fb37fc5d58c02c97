// What follows a failed start of the installer.
#include "launcher/launch_rules.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(LaunchRules, OnlyElevationGoesThroughTheShellAndOnlyADeclinedPromptIsNotSaid) {
  EXPECT_EQ(AfterCreateProcessFailed(740), AfterFailedStart::kStartThroughShell);
  for (const std::uint32_t error : {2u, 3u, 5u, 193u, 206u, 1223u}) {
    EXPECT_EQ(AfterCreateProcessFailed(error), AfterFailedStart::kSayWhy) << error;
  }
  EXPECT_EQ(AfterShellStartFailed(1223), AfterFailedStart::kNothing);
  for (const std::uint32_t error : {2u, 5u, 740u, 1155u}) {
    EXPECT_EQ(AfterShellStartFailed(error), AfterFailedStart::kSayWhy) << error;
  }
}

}  // namespace
}  // namespace launcher
