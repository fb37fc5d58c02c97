// The version information block: windres' own bytes read and written back unchanged, round
// trips, the packer's edits, version numbers, and damaged blocks refused without a crash.
#include "pe/version_info.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using pe::VersionInfo;
using pe::VersionNumber;
using ByteVector = std::vector<std::uint8_t>;

// i686-w64-mingw32-windres (binutils 2.40) -O res of
//   1 VERSIONINFO FILEVERSION 1,2,3,4 PRODUCTVERSION 5,6,7,8 FILEFLAGSMASK 0x3f FILEFLAGS 0x2
//   FILEOS 0x40004 FILETYPE 0x1
//   BEGIN BLOCK "StringFileInfo" BEGIN BLOCK "040904b0" BEGIN
//     VALUE "CompanyName", "Tarnby"   VALUE "Empty", ""   VALUE "LegalCopyright", L"\x00a9 Tarnby"
//     VALUE "A", "xy"
//   END END BLOCK "VarFileInfo" BEGIN VALUE "Translation", 0x409, 1200, 0x407, 1252 END END
// the resource's data alone. "A" ends off a 32-bit boundary: the string table's and
// StringFileInfo's lengths stop there, and VarFileInfo starts two bytes later.
const ByteVector kWindresBlock = {
    0x74, 0x01, 0x34, 0x00, 0x00, 0x00, 0x56, 0x00, 0x53, 0x00, 0x5F, 0x00, 0x56, 0x00, 0x45, 0x00, 0x52,
    0x00, 0x53, 0x00, 0x49, 0x00, 0x4F, 0x00, 0x4E, 0x00, 0x5F, 0x00, 0x49, 0x00, 0x4E, 0x00, 0x46, 0x00,
    0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBD, 0x04, 0xEF, 0xFE, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01,
    0x00, 0x04, 0x00, 0x03, 0x00, 0x06, 0x00, 0x05, 0x00, 0x08, 0x00, 0x07, 0x00, 0x3F, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xCE, 0x00, 0x00, 0x00, 0x01, 0x00, 0x53, 0x00, 0x74, 0x00,
    0x72, 0x00, 0x69, 0x00, 0x6E, 0x00, 0x67, 0x00, 0x46, 0x00, 0x69, 0x00, 0x6C, 0x00, 0x65, 0x00, 0x49,
    0x00, 0x6E, 0x00, 0x66, 0x00, 0x6F, 0x00, 0x00, 0x00, 0xAA, 0x00, 0x00, 0x00, 0x01, 0x00, 0x30, 0x00,
    0x34, 0x00, 0x30, 0x00, 0x39, 0x00, 0x30, 0x00, 0x34, 0x00, 0x62, 0x00, 0x30, 0x00, 0x00, 0x00, 0x2E,
    0x00, 0x07, 0x00, 0x01, 0x00, 0x43, 0x00, 0x6F, 0x00, 0x6D, 0x00, 0x70, 0x00, 0x61, 0x00, 0x6E, 0x00,
    0x79, 0x00, 0x4E, 0x00, 0x61, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x54, 0x00, 0x61,
    0x00, 0x72, 0x00, 0x6E, 0x00, 0x62, 0x00, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x00, 0x01, 0x00,
    0x01, 0x00, 0x45, 0x00, 0x6D, 0x00, 0x70, 0x00, 0x74, 0x00, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x36, 0x00, 0x09, 0x00, 0x01, 0x00, 0x4C, 0x00, 0x65, 0x00, 0x67, 0x00, 0x61, 0x00,
    0x6C, 0x00, 0x43, 0x00, 0x6F, 0x00, 0x70, 0x00, 0x79, 0x00, 0x72, 0x00, 0x69, 0x00, 0x67, 0x00, 0x68,
    0x00, 0x74, 0x00, 0x00, 0x00, 0xA9, 0x00, 0x20, 0x00, 0x54, 0x00, 0x61, 0x00, 0x72, 0x00, 0x6E, 0x00,
    0x62, 0x00, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x00, 0x03, 0x00, 0x01, 0x00, 0x41, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x78, 0x00, 0x79, 0x00, 0x00, 0x00, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x56, 0x00, 0x61, 0x00, 0x72, 0x00, 0x46, 0x00, 0x69, 0x00, 0x6C, 0x00, 0x65, 0x00, 0x49, 0x00, 0x6E,
    0x00, 0x66, 0x00, 0x6F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x08, 0x00, 0x00, 0x00, 0x54, 0x00,
    0x72, 0x00, 0x61, 0x00, 0x6E, 0x00, 0x73, 0x00, 0x6C, 0x00, 0x61, 0x00, 0x74, 0x00, 0x69, 0x00, 0x6F,
    0x00, 0x6E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x04, 0xB0, 0x04, 0x07, 0x04, 0xE4, 0x04,
};
// Where the "A" string node starts in it.
constexpr std::size_t kLastStringAt = 0x118;

ByteVector Write(const VersionInfo& info) {
  std::string error;
  ByteVector bytes = pe::WriteVersionInfo(info, error);
  EXPECT_FALSE(bytes.empty()) << error;
  return bytes;
}

VersionInfo Parse(const ByteVector& bytes) {
  VersionInfo info;
  std::string error;
  EXPECT_TRUE(pe::ParseVersionInfo(bytes, info, error)) << error;
  return info;
}

TEST(VersionInfoWindres, ReadsEveryFieldAndWritesTheSameBytes) {
  const VersionInfo info = Parse(kWindresBlock);
  EXPECT_EQ(info.fixed.fileVersion, (VersionNumber{1, 2, 3, 4}));
  EXPECT_EQ(info.fixed.productVersion, (VersionNumber{5, 6, 7, 8}));
  EXPECT_EQ(info.fixed.fileFlagsMask, 0x3Fu);
  EXPECT_EQ(info.fixed.fileFlags, 2u);
  EXPECT_EQ(info.fixed.fileOs, 0x40004u);
  EXPECT_EQ(info.fixed.fileType, 1u);
  EXPECT_EQ(info.stringTableKey, u"040904b0");
  const std::vector<pe::VersionString> strings = {
      {u"CompanyName", u"Tarnby"}, {u"Empty", u""}, {u"LegalCopyright", u"\u00A9 Tarnby"}, {u"A", u"xy"}};
  EXPECT_EQ(info.strings, strings);
  EXPECT_EQ(info.translations, (std::vector<pe::Translation>{{0x409, 1200}, {0x407, 1252}}));
  EXPECT_EQ(Write(info), kWindresBlock);
}

TEST(VersionInfoWindres, ToleratesLengthsOtherToolsWrite) {
  // A value length in bytes instead of characters, and a node length that takes in the
  // padding after the node's last child.
  ByteVector bytes = kWindresBlock;
  bytes[kLastStringAt + 2] = 6;  // "xy" and its terminator, counted in bytes
  bytes[0x5C] += 2;              // StringFileInfo up to VarFileInfo
  EXPECT_EQ(Parse(bytes), Parse(kWindresBlock));
}

TEST(VersionInfoRoundTrip, AnyContentComesBackAsWritten) {
  VersionInfo bare;  // no strings, no translations: no VarFileInfo at all
  VersionInfo full;
  full.fixed = {0x00010000, {65535, 0, 1, 2}, {9, 8, 7, 6}, 0x3F, 0x2B, 0x40004, 2,
                7,          0xDEADBEEF,       0x01234567};
  full.stringTableKey = u"041104b0";
  for (int length = 0; length < 9; ++length)  // every padding case of name and value
    full.strings.push_back({std::u16string(length + 1, u'N'), std::u16string(length, u'\u65E5')});
  full.translations = {{0x411, 1200}, {0x409, 1252}, {0, 0}};
  for (const VersionInfo& info : {bare, full}) {
    const ByteVector bytes = Write(info);
    EXPECT_EQ(bytes.size() % 2, 0u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, static_cast<int>(bytes.size()));  // the outer length is the whole
    EXPECT_EQ(Parse(bytes), info);
  }
}

TEST(VersionInfoRoundTrip, RefusesWhatCannotBeReadBack) {
  std::string error;
  VersionInfo zero;
  zero.strings.push_back({u"Comments", std::u16string(u"a\0b", 3)});
  EXPECT_TRUE(pe::WriteVersionInfo(zero, error).empty());
  EXPECT_NE(error.find("zero"), std::string::npos);

  VersionInfo large;
  large.strings.push_back({u"Comments", std::u16string(33000, u'x')});  // 66,000 bytes
  error.clear();
  EXPECT_TRUE(pe::WriteVersionInfo(large, error).empty());
  EXPECT_NE(error.find("65,535"), std::string::npos);
}

TEST(VersionInfoEdits, SettersReplaceInPlaceOrAppend) {
  VersionInfo info = Parse(kWindresBlock);
  pe::SetVersionString(info, u"CompanyName", u"Tarnby Ltd");
  pe::SetVersionString(info, u"companyname", u"other case, other name");
  pe::SetFileVersion(info, {10, 0, 65535, 1});
  pe::SetProductVersion(info, {2, 0, 0, 0});
  pe::SetFileVersion(info, {10, 0, 65535, 2});  // the second time replaces the first

  const VersionInfo back = Parse(Write(info));
  ASSERT_EQ(back.strings.size(), 7u);
  EXPECT_EQ(back.strings[0].value, u"Tarnby Ltd");
  EXPECT_EQ(back.strings[3].name, u"A");
  EXPECT_EQ(back.strings[4].name, u"companyname");
  EXPECT_EQ(back.strings[5].name, u"FileVersion");
  EXPECT_EQ(back.strings[5].value, u"10.0.65535.2");
  EXPECT_EQ(back.strings[6].name, u"ProductVersion");
  EXPECT_EQ(back.strings[6].value, u"2.0.0.0");
  EXPECT_EQ(back.fixed.fileVersion, (VersionNumber{10, 0, 65535, 2}));
  EXPECT_EQ(back.fixed.productVersion, (VersionNumber{2, 0, 0, 0}));
  EXPECT_EQ(back.translations, Parse(kWindresBlock).translations);
}

TEST(VersionNumbers, FourPartsOfSixteenBitsAndNothingElse) {
  VersionNumber version{};
  std::string error;
  ASSERT_TRUE(pe::ParseVersionNumber("1.2.3.4", version, error));
  EXPECT_EQ(version, (VersionNumber{1, 2, 3, 4}));
  ASSERT_TRUE(pe::ParseVersionNumber("65535.0.00007.0", version, error));
  EXPECT_EQ(version, (VersionNumber{65535, 0, 7, 0}));
  EXPECT_EQ(pe::FormatVersionNumber(version), "65535.0.7.0");

  for (const char* bad : {"", "1", "1.2.3", "1.2.3.", "1.2.3.4.", "1.2.3.4.5", "1..3.4", ".1.2.3",
                          "65536.0.0.0", "0.0.0.99999999999999999999", " 1.2.3.4", "1.2.3.4 ", "+1.2.3.4",
                          "-1.2.3.4", "1.2.3.4a", "1,2,3,4", "a.b.c.d"}) {
    error.clear();
    EXPECT_FALSE(pe::ParseVersionNumber(bad, version, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_EQ(version, (VersionNumber{65535, 0, 7, 0})) << bad << ": changed on failure";
  }
}

TEST(VersionInfoDamage, CutBlocksAreRefused) {
  for (std::size_t length = 0; length < kWindresBlock.size(); ++length) {
    VersionInfo info;
    std::string error;
    const ByteVector cut(kWindresBlock.begin(), kWindresBlock.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(pe::ParseVersionInfo(cut, info, error)) << length;
    EXPECT_FALSE(error.empty()) << length;
  }
}

TEST(VersionInfoDamage, ASecondStringTableIsRefusedRatherThanLost) {
  // The string table twice (and no VarFileInfo): writing would lose the second one.
  constexpr std::size_t kStringFileInfoAt = 0x5C, kTableAt = 0x80, kTableEnd = 0x12A;
  ByteVector twoTables(kWindresBlock.begin(), kWindresBlock.begin() + kTableEnd);
  twoTables.insert(twoTables.end(), 2, 0);
  twoTables.insert(twoTables.end(), kWindresBlock.begin() + kTableAt, kWindresBlock.begin() + kTableEnd);
  const std::size_t stringFileInfoLength = twoTables.size() - kStringFileInfoAt;
  twoTables[0] = static_cast<std::uint8_t>(twoTables.size());
  twoTables[1] = static_cast<std::uint8_t>(twoTables.size() >> 8);
  twoTables[kStringFileInfoAt] = static_cast<std::uint8_t>(stringFileInfoLength);
  twoTables[kStringFileInfoAt + 1] = static_cast<std::uint8_t>(stringFileInfoLength >> 8);
  VersionInfo info;
  std::string error;
  EXPECT_FALSE(pe::ParseVersionInfo(twoTables, info, error));
  EXPECT_NE(error.find("more than one string table"), std::string::npos) << error;
}

TEST(VersionInfoDamage, NoiseNeverBreaksTheRoundTrip) {
  // Whatever a damaged block is read as, writing it and reading it again gives the same.
  std::mt19937 random(20240611);
  for (int round = 0; round < 4000; ++round) {
    ByteVector bytes = kWindresBlock;
    for (int flips = 1 + round % 4; flips > 0; --flips)
      bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    VersionInfo info;
    std::string error;
    if (!pe::ParseVersionInfo(bytes, info, error)) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(Parse(Write(info)), info) << "round " << round;
  }
}

}  // namespace
