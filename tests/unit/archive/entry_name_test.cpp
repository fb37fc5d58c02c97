// Entry names: cleaning per layout, the code page 1252 upper-casing (the system's under Wine), and the plain-name rule
// that keeps every entry inside the destination folder.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"
#include "test_support.h"

namespace archive {
namespace {

TEST(EntryNameCleaning, Layout2TrimsBothEndsLayout1OnlyTheRight) {
  EXPECT_EQ(CleanEntryName(" readme.txt ", Layout::kHeader10), "README.TXT");
  EXPECT_EQ(CleanEntryName("readme.txt  ", Layout::kHeader20), "README.TXT");
  EXPECT_EQ(CleanEntryName(" lead.txt   ", Layout::kHeader20), " LEAD.TXT");
  // Only the blank is trimmed: tabs and NULs stay (and make the name unsafe later).
  EXPECT_EQ(CleanEntryName("\ta.txt\t", Layout::kHeader10), "\tA.TXT\t");
  EXPECT_EQ(CleanEntryName(std::string("a\0", 2), Layout::kHeader10), std::string("A\0", 2));
  EXPECT_EQ(CleanEntryName("    ", Layout::kHeader10), "");
  EXPECT_EQ(CleanEntryName("in side.txt", Layout::kHeader10), "IN SIDE.TXT");
}

TEST(EntryNameCleaning, UpperCasingFollowsCodePage1252) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string upper = all;
  testing::SystemUpperCase(upper.data(), upper.size());
  for (int c = 0; c < 256; ++c) {
    const auto got = static_cast<unsigned char>(upper[static_cast<std::size_t>(c)]);
    int expected = c;
    if (c >= 'a' && c <= 'z') expected = c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) expected = c - 0x20;
    if (c == 0x9A) expected = 0x8A;
    if (c == 0x9C) expected = 0x8C;
    if (c == 0x9E) expected = 0x8E;
    if (c == 0xFF) expected = 0x9F;
    EXPECT_EQ(got, expected) << "byte " << c;
  }
}

TEST(PlainFileNames, OrdinaryNamesPass) {
  for (const char* name : {"SETUP.EXE", "README.TXT", "DATA1.EEK", "A", " LEAD.TXT", "NO EXT",
                           "CONSOLE.TXT", "COM10", "LPT", "NULL.DAT", "A.B.C", "\xC9T\xC9.TXT"}) {
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  }
  EXPECT_TRUE(IsPlainFileName(std::string(256, 'N')));
}

TEST(PlainFileNames, FolderPartsDrivesAndRelativeNamesFail) {
  for (const char* name : {"..\\..\\WINDOWS\\EVIL.DLL", "C:X", "C:\\X", "SUB/X", "/ETC/PASSWD",
                           "\\\\SERVER\\SHARE", ".", "..", "FILE.TXT:STREAM", ""}) {
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  }
}

TEST(PlainFileNames, ForbiddenCharactersAndControlBytesFail) {
  for (char c : std::string("<>\"|?*")) EXPECT_FALSE(IsPlainFileName(std::string("A") + c + "B")) << c;
  for (int c = 0; c < 0x20; ++c) {
    EXPECT_FALSE(IsPlainFileName(std::string("A") + static_cast<char>(c) + "B")) << c;
  }
  EXPECT_FALSE(IsPlainFileName("A\x7F" "B"));
}

TEST(PlainFileNames, NamesWindowsWouldShortenFail) {
  EXPECT_FALSE(IsPlainFileName("..."));
  EXPECT_FALSE(IsPlainFileName("README."));
  EXPECT_FALSE(IsPlainFileName("README "));
}

TEST(PlainFileNames, DeviceNamesFailWithOrWithoutExtensionInAnyCase) {
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM1", "COM9", "COM0", "LPT1", "LPT9",
                             "CONIN$", "CONOUT$", "com1", "Nul", "COM\xB9", "LPT\xB2", "LPT\xB3"}) {
    EXPECT_FALSE(IsPlainFileName(device)) << device;
    EXPECT_FALSE(IsPlainFileName(std::string(device) + ".TXT")) << device;
    EXPECT_FALSE(IsPlainFileName(std::string(device) + " .TXT")) << device;
    EXPECT_FALSE(IsPlainFileName(std::string(device) + ".TAR.GZ")) << device;
  }
}

}  // namespace
}  // namespace archive
