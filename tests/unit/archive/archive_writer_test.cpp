// Records as the packer writes them, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive_writer.h"

namespace archive {

namespace {

using ByteVector = std::vector<std::uint8_t>;

TEST(ArchiveWriter, Layout2HeaderFields) {
  ByteVector archive;
  const ByteVector stream = {0x00, 'x'};
  ASSERT_EQ(AppendRecord(archive, Layout::kHeader10, "a.txt", stream, 1), RecordError::kNone);
  const ByteVector expected = {0x02, 4, 2, 0, 0, 0, 1, 0, 0, 0, 'a', '.', 't', 'x', 't', 0x00, 'x'};
  EXPECT_EQ(archive, expected);
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader10, std::string(256, 'n'), {}, 0), RecordError::kNone);
  EXPECT_EQ(archive[expected.size() + 1], 0xFF);
}

TEST(ArchiveWriter, Layout1PadsTheNameAndRightAlignsTheEndPosition) {
  ByteVector archive;
  ASSERT_EQ(AppendRecord(archive, Layout::kHeader20, "a.txt", ByteVector{0x00, 'x'}, 1), RecordError::kNone);
  EXPECT_EQ(std::string(archive.begin(), archive.end()), std::string("a.txt       ") + "      22" + '\0' + "x");
  ASSERT_EQ(AppendRecord(archive, Layout::kHeader20, "twelve.bytes", {}, 0), RecordError::kNone);
  EXPECT_EQ(std::string(archive.begin() + 22, archive.end()), "twelve.bytes      42");
}

TEST(ArchiveWriter, RefusesWhatTheLayoutCannotHold) {
  ByteVector archive;
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader20, "thirteen.text", {}, 0), RecordError::kNameTooLong);
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader10, std::string(257, 'n'), {}, 0), RecordError::kNameTooLong);
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader10, "", {}, 0), RecordError::kEmptyName);
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader10, "big", {}, int64_t{1} << 31), RecordError::kTooLarge);
  EXPECT_EQ(AppendRecord(archive, Layout::kHeader10, "neg", {}, -1), RecordError::kTooLarge);
  EXPECT_TRUE(archive.empty());  // nothing appended on an error
}

}  // namespace
}  // namespace archive
