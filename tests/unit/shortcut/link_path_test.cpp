#include "shortcut/link_path.h"

#include <gtest/gtest.h>

#include <string>

namespace shortcut {
namespace {

TEST(TrimmedFolder, RemovesEveryTrailingBackslashAndNothingElse) {
  EXPECT_EQ(TrimmedFolder("C:\\Tarnby Setup\\TarLoom64"), "C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(TrimmedFolder("C:\\Tarnby Setup\\TarLoom64\\"), "C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(TrimmedFolder("C:\\Tarnby Setup\\TarLoom64\\\\\\"), "C:\\Tarnby Setup\\TarLoom64");
  // Doubled separators inside the path are kept: only the end is trimmed.
  EXPECT_EQ(TrimmedFolder("\\\\server\\\\share\\"), "\\\\server\\\\share");
  // A drive root loses its backslash too.
  EXPECT_EQ(TrimmedFolder("C:\\"), "C:");
  // A slash is not a backslash.
  EXPECT_EQ(TrimmedFolder("C:/folder/"), "C:/folder/");
}

TEST(TrimmedFolder, BackslashesOnlyOrNothingGiveEmpty) {
  EXPECT_EQ(TrimmedFolder("\\"), "");
  EXPECT_EQ(TrimmedFolder("\\\\\\\\"), "");
  EXPECT_EQ(TrimmedFolder(""), "");
}

TEST(TrimmedFolder, BytesBeforeTheTrailingBackslashesAreKept) {
  const std::string withBytes("a\0\xFF\\\\", 5);
  EXPECT_EQ(TrimmedFolder(withBytes), std::string("a\0\xFF", 3));
}

TEST(LinkPath, OneBackslashBetweenDesktopAndName) {
  EXPECT_EQ(LinkPath("C:\\users\\root\\Desktop", "Tarnby TarLoom64 Setup"),
            "C:\\users\\root\\Desktop\\Tarnby TarLoom64 Setup.lnk");
  EXPECT_EQ(LinkPath("C:\\users\\root\\Desktop\\", "Tarnby TarLoom64 Setup"),
            "C:\\users\\root\\Desktop\\Tarnby TarLoom64 Setup.lnk");
  // A desktop at a drive root.
  EXPECT_EQ(LinkPath("D:\\", "name"), "D:\\name.lnk");
  EXPECT_EQ(LinkPath("D:\\\\\\", "name"), "D:\\name.lnk");
}

TEST(LinkPath, NoDesktopFolderGivesTheRootOfTheCurrentDrive) {
  EXPECT_EQ(LinkPath("", "Tarnby TarLoom64 Setup"), "\\Tarnby TarLoom64 Setup.lnk");
  EXPECT_EQ(LinkPath("\\", "Tarnby TarLoom64 Setup"), "\\Tarnby TarLoom64 Setup.lnk");
}

TEST(LinkPath, NameIsUsedVerbatim) {
  EXPECT_EQ(LinkPath("C:\\d", "setup.lnk"), "C:\\d\\setup.lnk.lnk");
  EXPECT_EQ(LinkPath("C:\\d", " a:b*c?\\ "), "C:\\d\\ a:b*c?\\ .lnk");
  EXPECT_EQ(LinkPath("C:\\d", "trailing\\"), "C:\\d\\trailing\\.lnk");
  EXPECT_EQ(LinkPath("C:\\d", ""), "C:\\d\\.lnk");
  EXPECT_EQ(LinkPath("C:\\d", "\xE9t\xE9"), "C:\\d\\\xE9t\xE9.lnk");
}

TEST(IconLocation, TargetAsPassedThenIconZero) {
  EXPECT_EQ(IconLocation(L"C:\\Tarnby Setup\\TarLoom64\\setup.exe"),
            L"C:\\Tarnby Setup\\TarLoom64\\setup.exe,0");
  // The target is not trimmed or normalised.
  EXPECT_EQ(IconLocation(L"C:\\a\\\\b\\"), L"C:\\a\\\\b\\,0");
  EXPECT_EQ(IconLocation(L"C:\\x,1"), L"C:\\x,1,0");
  EXPECT_EQ(IconLocation(L""), L",0");
}

}  // namespace
}  // namespace shortcut
