// Which existing working folders are used as they are.
#include "folders/folder_trust.h"

#include <gtest/gtest.h>

#include <vector>

namespace folders {
namespace {

constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kReadAndExecute = 0x001200A9;
constexpr std::uint32_t kModify = 0x001301BF;
constexpr std::uint32_t kAppendData = 0x00000004;  // "create folders", as the drive's root gives

AccessEntry Allow(Trustee who, std::uint32_t mask) { return {true, mask, who}; }

TEST(FolderTrust, OursWhenOwnedByUsAdministratorsOrSystemAndNobodyElseMayWrite) {
  // What the launcher gives its own folders.
  const std::vector<AccessEntry> ours = {
      Allow(Trustee::kSystem, kFullControl), Allow(Trustee::kAdministrators, kFullControl),
      Allow(Trustee::kCurrentUser, kFullControl), Allow(Trustee::kOther, kReadAndExecute)};
  for (const Trustee owner : {Trustee::kCurrentUser, Trustee::kAdministrators, Trustee::kSystem}) {
    EXPECT_TRUE(IsTrustedFolder(owner, true, ours));
  }
  // CREATOR OWNER's rights reach only someone who may create there.
  std::vector<AccessEntry> withCreator = ours;
  withCreator.push_back(Allow(Trustee::kCreator, kFullControl));
  EXPECT_TRUE(IsTrustedFolder(Trustee::kCurrentUser, true, withCreator));
  // Others denied write: a deny entry never widens access.
  std::vector<AccessEntry> withDeny = ours;
  withDeny.push_back({false, kFullControl, Trustee::kOther});
  EXPECT_TRUE(IsTrustedFolder(Trustee::kCurrentUser, true, withDeny));
}

TEST(FolderTrust, NotOursWhenSomeoneElseOwnsItOrMayChangeIt) {
  const std::vector<AccessEntry> ours = {Allow(Trustee::kCurrentUser, kFullControl)};
  EXPECT_FALSE(IsTrustedFolder(Trustee::kOther, true, ours));
  EXPECT_FALSE(IsTrustedFolder(Trustee::kCreator, true, ours));
  // No access list at all: everyone may do everything.
  EXPECT_FALSE(IsTrustedFolder(Trustee::kCurrentUser, false, {}));
  // A folder made in the drive's root with inherited rights: authenticated users may modify.
  for (const std::uint32_t mask : {kModify, kAppendData, 0x40000000u, 0x10000000u, 0x00040000u,
                                   0x00080000u, 0x00010000u, 0x00000040u}) {
    std::vector<AccessEntry> entries = ours;
    entries.push_back(Allow(Trustee::kOther, mask));
    EXPECT_FALSE(IsTrustedFolder(Trustee::kCurrentUser, true, entries)) << std::hex << mask;
  }
}

}  // namespace
}  // namespace folders
