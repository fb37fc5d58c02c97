// Entry names: cleaning per layout, the code page 1252 upper-casing against the system's, and the plain-name rule
// that keeps every entry inside the destination folder.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_name.h"
#include "test_support.h"
#ifdef _WIN32
#include <windows.h>
#endif

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

// The packer's own code page 1252 upper-casing (eekpack extract's, and the walk's on Linux) is
// held to the system's, CharUpperBuffA, which the launcher uses: byte for byte over all 256.
// Only the Windows build (under Wine, code page 1252) has that reference.
TEST(EntryNameCleaning, UpperCasingIsTheSystems) {
#ifdef _WIN32
  std::string portable;
  for (int c = 0; c < 256; ++c) portable.push_back(static_cast<char>(c));
  std::string system = portable;
  UpperCase1252(portable.data(), portable.size());
  win32::UpperCaseAnsi(system.data(), system.size());
  ASSERT_EQ(::GetACP(), 1252u) << "the reference needs code page 1252";
  for (int c = 0; c < 256; ++c) {
    const auto k = static_cast<std::size_t>(c);
    EXPECT_EQ(static_cast<unsigned char>(portable[k]), static_cast<unsigned char>(system[k])) << "byte " << c;
  }
#else
  GTEST_SKIP() << "the system's upper-casing, the reference, is in the Windows build";
#endif
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
