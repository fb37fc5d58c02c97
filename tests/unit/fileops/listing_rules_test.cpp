#include "fileops/listing_rules.h"

#include <gtest/gtest.h>

namespace {

using namespace fileops;

constexpr std::uint32_t kArchive = 0x20;

TEST(ListingRules, PlainFilesAreListedWhateverTheirOtherBits) {
  for (std::uint32_t mask : {kPlainFiles, kFilesAndFolders}) {
    EXPECT_TRUE(IsListed(0, mask, u"a.txt"));
    EXPECT_TRUE(IsListed(kAttributeReadOnly | kArchive, mask, u"a.txt"));
    EXPECT_TRUE(IsListed(0x80 /* normal */, mask, u"a.txt"));
  }
}

TEST(ListingRules, HiddenSystemAndFoldersNeedEveryOneOfTheirBitsInTheMask) {
  EXPECT_FALSE(IsListed(kAttributeDirectory, kPlainFiles, u"dir"));
  EXPECT_TRUE(IsListed(kAttributeDirectory, kFilesAndFolders, u"dir"));
  EXPECT_FALSE(IsListed(kAttributeHidden, kFilesAndFolders, u"h.txt"));
  EXPECT_FALSE(IsListed(kAttributeSystem, kFilesAndFolders, u"s.txt"));
  // A hidden folder needs both bits.
  EXPECT_FALSE(IsListed(kAttributeDirectory | kAttributeHidden, kFilesAndFolders, u"dir"));
  EXPECT_TRUE(IsListed(kAttributeDirectory | kAttributeHidden, kAttributeDirectory | kAttributeHidden,
                       u"dir"));
  EXPECT_TRUE(IsListed(kAttributeHidden, kAttributeHidden, u"h.txt"));
}

TEST(ListingRules, DotEntriesAreNeverListed) {
  EXPECT_FALSE(IsListed(kAttributeDirectory, kFilesAndFolders, u"."));
  EXPECT_FALSE(IsListed(kAttributeDirectory, kFilesAndFolders, u".."));
  EXPECT_FALSE(IsListed(0, kPlainFiles, u".."));
  EXPECT_TRUE(IsListed(0, kPlainFiles, u"..."));
  EXPECT_TRUE(IsListed(0, kPlainFiles, u".profile"));
}

TEST(DeletionRules, OnlyPlainFilesAreDeleted) {
  EXPECT_TRUE(IsDeletable(0));
  EXPECT_TRUE(IsDeletable(kArchive));
  // Read-only is attempted (and fails at the system), not skipped here.
  EXPECT_TRUE(IsDeletable(kAttributeReadOnly));
  EXPECT_FALSE(IsDeletable(kAttributeHidden));
  EXPECT_FALSE(IsDeletable(kAttributeSystem));
  EXPECT_FALSE(IsDeletable(kAttributeVolumeLabel));
  EXPECT_FALSE(IsDeletable(kAttributeDirectory));
}

TEST(Patterns, AFolderOrDriveGetsTheWildcard) {
  EXPECT_EQ(WithFolderWildcard("C:"), "C:*.*");
  EXPECT_EQ(WithFolderWildcard("C:\\Tarnby Setup\\"), "C:\\Tarnby Setup\\*.*");
  EXPECT_EQ(WithFolderWildcard("C:\\Tarnby Setup"), "C:\\Tarnby Setup");
  EXPECT_EQ(WithFolderWildcard("Bulktemp.eek"), "Bulktemp.eek");
  EXPECT_EQ(WithFolderWildcard(""), "");
}

TEST(Patterns, FolderPartEndsAtTheLastColonOrBackslash) {
  EXPECT_EQ(FolderPart("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(FolderPart("C:b.txt"), "C:");
  EXPECT_EQ(FolderPart("C:\\a\\*.*"), "C:\\a\\");
  EXPECT_EQ(FolderPart("Bulktemp.eek"), "");
}

}  // namespace
