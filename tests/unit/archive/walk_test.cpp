// The record walk: layouts, names, the record chain, progress, and damaged archives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "archive/archive_writer.h"
#include "archive/encoder.h"
#include "archive/entry_name.h"
#include "archive/memory_io.h"
#include "archive/walk.h"
#include "archive/walk_verdict.h"
#include "test_support.h"

namespace archive {

namespace {

using testing::Bytes;
using testing::RecordingProgress;
using testing::RecordingSink;
using testing::StingySource;
using ByteVector = std::vector<std::uint8_t>;

struct Walked {
  std::vector<RecordingSink::Entry> entries;
  std::vector<int32_t> reports;
  std::vector<WalkRecord> records;  // names copied out below
  std::vector<std::string> recordNames;
  WalkEnd end = WalkEnd::kEndOfArchive;
  int endings = 0;
};

class Observer final : public WalkObserver {
 public:
  explicit Observer(Walked& walked) : walked_(walked) {}
  void Record(const WalkRecord& record) override {
    walked_.records.push_back(record);
    walked_.recordNames.emplace_back(record.name);
  }
  void Ended(WalkEnd how) override {
    walked_.end = how;
    ++walked_.endings;
  }

 private:
  Walked& walked_;
};

Walked Walk(const ByteVector& archive, std::vector<int32_t> limits = {}) {
  StingySource source(archive, std::move(limits));
  RecordingSink sink;
  RecordingProgress progress;
  Walked walked;
  Observer observer(walked);
  WalkArchive(source, sink, progress, observer);
  walked.entries = sink.entries;
  walked.reports = progress.reports;
  return walked;
}

ByteVector Layout2Record(std::string_view name, const ByteVector& stream, int32_t sizeField = -1) {
  ByteVector record{0x02, static_cast<std::uint8_t>(name.size() - 1)};
  const auto size = static_cast<std::uint32_t>(stream.size());
  const auto decoded = static_cast<std::uint32_t>(sizeField);
  for (int s = 0; s < 32; s += 8) record.push_back(static_cast<std::uint8_t>(size >> s));
  for (int s = 0; s < 32; s += 8) record.push_back(static_cast<std::uint8_t>(decoded >> s));
  record.insert(record.end(), name.begin(), name.end());
  record.insert(record.end(), stream.begin(), stream.end());
  return record;
}

ByteVector Layout1Record(std::string_view nameField, std::string_view endField, const ByteVector& stream) {
  ByteVector record(nameField.begin(), nameField.end());
  record.insert(record.end(), endField.begin(), endField.end());
  record.insert(record.end(), stream.begin(), stream.end());
  return record;
}

ByteVector operator+(ByteVector a, const ByteVector& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A sound archive of several encoded entries.
ByteVector Pack(Layout layout, const std::vector<std::pair<std::string, ByteVector>>& files) {
  ByteVector archive;
  for (const auto& [name, data] : files)
    EXPECT_EQ(AppendRecord(archive, layout, name, EncodeEntry(data), static_cast<int64_t>(data.size())),
              RecordError::kNone);
  return archive;
}

ByteVector Text(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  static const char* words[] = {"setup ", "file ", "the ", "archive ", "tarnby ", "\r\n"};
  ByteVector text;
  while (text.size() < size) {
    const char* w = words[rng() % 6];
    text.insert(text.end(), w, w + std::strlen(w));
  }
  text.resize(size);
  return text;
}

TEST(WalkLayouts, FirstByte02MeansLayout2ForEveryRecordWhateverLaterMarkersHold) {
  ByteVector second = Layout2Record("b.txt", Bytes({0x00, 'B'}));
  second[0] = 0x77;  // not examined
  const Walked walked = Walk(Layout2Record("a.txt", Bytes({0x00, 'A'})) + second);
  ASSERT_EQ(walked.entries.size(), 2u);
  EXPECT_EQ(walked.entries[0].name, "A.TXT");
  EXPECT_EQ(walked.entries[1].name, "B.TXT");
  EXPECT_EQ(walked.entries[1].bytes, Bytes("B"));
  EXPECT_EQ(walked.end, WalkEnd::kEndOfArchive);
}

TEST(WalkEnds, AfterTheEntryOfASinkThatCanWriteNoMore) {
  const ByteVector archive =
      Pack(Layout::kHeader10, {{"a.txt", Bytes("first")}, {"b.txt", Bytes("second")}, {"c.txt", Bytes("third")}});
  MemorySource source(archive);
  RecordingSink sink;
  sink.failAfterEntries = 2;
  RecordingProgress progress;
  Walked walked;
  Observer observer(walked);
  WalkArchive(source, sink, progress, observer);
  ASSERT_EQ(sink.entries.size(), 2u);
  EXPECT_EQ(sink.entries[1].bytes, Bytes("second"));
  EXPECT_TRUE(sink.entries[1].ended);
  EXPECT_EQ(walked.end, WalkEnd::kSinkFailed);
  EXPECT_EQ(walked.endings, 1);
}

TEST(WalkLayouts, AnyOtherFirstByteMeansLayout1) {
  const ByteVector archive = Layout1Record("readme.txt  ", "      23", Bytes({0x01, 'h', 'i'})) +
                             Layout1Record("B.BIN       ", "      46", Bytes({0x01, 'o', 'k'}));
  const Walked sound = Walk(archive);
  ASSERT_EQ(sound.entries.size(), 2u);
  EXPECT_EQ(sound.entries[0].name, "README.TXT");
  EXPECT_EQ(sound.entries[0].bytes, Bytes("hi"));
  EXPECT_EQ(sound.entries[1].name, "B.BIN");
  EXPECT_EQ(sound.entries[1].bytes, Bytes("ok"));
  EXPECT_EQ(sound.end, WalkEnd::kEndOfArchive);
}

TEST(WalkLayouts, EndPositionWithBlanksOnEitherSide) {
  ByteVector data(512 - 20, 0);
  // A literal-only stream filling the range exactly: runs of 123 (124-byte tokens) and one
  // more to fill up.
  ByteVector stream;
  while (492 - stream.size() > 129) {
    stream.push_back(122);
    stream.insert(stream.end(), 123, 'x');
  }
  stream.push_back(static_cast<std::uint8_t>(492 - stream.size() - 2));
  stream.resize(492, 'y');
  for (std::string_view field : {"     512", "512     ", "\t\r\n  512", "+512 abc"}) {
    const Walked walked = Walk(Layout1Record("DATA.BIN    ", field, stream));
    ASSERT_EQ(walked.records.size(), 1u) << field;
    EXPECT_EQ(walked.records[0].dataEnd, 512) << field;
    EXPECT_EQ(walked.end, WalkEnd::kEndOfArchive) << field;
  }
  EXPECT_EQ(ParseEndPosition("12 34"), 12);
  EXPECT_EQ(ParseEndPosition("        "), 0);
  EXPECT_EQ(ParseEndPosition("-20"), -20);
}

TEST(WalkNames, BlanksTrimmedPerLayoutThenUpperCased) {
  const Walked two = Walk(Layout2Record(" readme.txt ", Bytes({0x00, 'r'})));
  ASSERT_EQ(two.entries.size(), 1u);
  EXPECT_EQ(two.entries[0].name, "README.TXT");
  const ByteVector oneRecord = Layout1Record(" lead.txt   ", "      22", Bytes({0x00, 'l'}));
  const Walked one = Walk(oneRecord);
  ASSERT_EQ(one.entries.size(), 1u);
  EXPECT_EQ(one.entries[0].name, " LEAD.TXT");  // the leading blank stays in layout 1
}

TEST(WalkNames, NameLengthByteHolds1To256) {
  const Walked shortest = Walk(Layout2Record("a", {}));
  ASSERT_EQ(shortest.entries.size(), 1u);
  EXPECT_EQ(shortest.entries[0].name, "A");
  const std::string longName(256, 'n');
  const Walked longest = Walk(Layout2Record(longName, Bytes({0x00, '!'})));
  ASSERT_EQ(longest.entries.size(), 1u);
  EXPECT_EQ(longest.entries[0].name, std::string(256, 'N'));
  EXPECT_EQ(longest.entries[0].bytes, Bytes("!"));
}

TEST(WalkNames, NamesThatLeaveTheFolderAreSkippedAndTheWalkGoesOn) {
  const ByteVector archive = Layout2Record("..\\..\\Windows\\evil.dll", Bytes({0x01, 'e', 'v'})) +
                             Layout2Record("C:x", Bytes({0x00, 'c'})) +
                             Layout2Record("con.txt", Bytes({0x00, 'c'})) +
                             Layout2Record("sub/x", Bytes({0x00, 's'})) +
                             Layout2Record("good.txt", Bytes({0x00, 'g'})) +
                             Layout2Record("..", Bytes({0x00, 'd'}));
  const Walked walked = Walk(archive);
  ASSERT_EQ(walked.entries.size(), 1u);
  EXPECT_EQ(walked.entries[0].name, "GOOD.TXT");
  EXPECT_EQ(walked.entries[0].bytes, Bytes("g"));
  ASSERT_EQ(walked.records.size(), 6u);
  EXPECT_FALSE(walked.records[0].written);
  // Skipped entries are decoded all the same, so the count is that of a full run.
  EXPECT_EQ(walked.records[0].outcome.decodedBytes, 2);
  EXPECT_EQ(walked.end, WalkEnd::kEndOfArchive);
}

TEST(WalkChain, EmptyEntryEndsRightAfterItsName) {
  const ByteVector archive = Layout2Record("empty.dat", {}) + Layout2Record("next.dat", Bytes({0x00, 'n'}));
  const Walked walked = Walk(archive);
  ASSERT_EQ(walked.entries.size(), 2u);
  EXPECT_EQ(walked.entries[0].name, "EMPTY.DAT");
  EXPECT_TRUE(walked.entries[0].bytes.empty());
  EXPECT_TRUE(walked.entries[0].ended);
  EXPECT_EQ(walked.entries[1].bytes, Bytes("n"));
}

TEST(WalkChain, NestedArchiveIsWrittenAsAFileNotOpened) {
  const ByteVector inner = Pack(Layout::kHeader10, {{"inner.txt", Text(5000, 1)}});
  const ByteVector outer = Pack(Layout::kHeader10, {{"setup.exe", Text(3000, 2)}, {"data.eek", inner}});
  const Walked walked = Walk(outer);
  ASSERT_EQ(walked.entries.size(), 2u);
  EXPECT_EQ(walked.entries[1].name, "DATA.EEK");
  EXPECT_EQ(walked.entries[1].bytes, inner);
}

TEST(WalkChain, EmptyArchiveShowsNothing) {
  const Walked walked = Walk({});
  EXPECT_TRUE(walked.entries.empty());
  EXPECT_TRUE(walked.records.empty());
  EXPECT_TRUE(walked.reports.empty());
  EXPECT_EQ(walked.end, WalkEnd::kEndOfArchive);
  EXPECT_EQ(walked.endings, 1);
}

TEST(WalkChain, RecordsThatPointBackEndTheWalkAfterTheirEntry) {
  // Layout 1: an end position at the record's own offset, then one before it.
  const ByteVector first = Layout1Record("A.TXT       ", "      21", Bytes({0x00}));
  const ByteVector loop = Layout1Record("B.TXT       ", "      21", Bytes({0x00, 'b'}));
  const Walked walked = Walk(first + loop + Layout1Record("C.TXT       ", "      70", {}));
  ASSERT_EQ(walked.records.size(), 2u);
  EXPECT_EQ(walked.end, WalkEnd::kNotForward);
  EXPECT_EQ(walked.entries[1].name, "B.TXT");  // handled (empty range), then the walk stops

  // Layout 2: a negative compressed size pointing before the record.
  ByteVector back = Layout2Record("x", {});
  back[2] = 0xF0; back[3] = 0xFF; back[4] = 0xFF; back[5] = 0xFF;  // -16
  const Walked looped = Walk(Layout2Record("a", Bytes({0x00, 'a'})) + back);
  EXPECT_EQ(looped.records.size(), 2u);
  EXPECT_EQ(looped.end, WalkEnd::kNotForward);

  // A negative size smaller than header and name still moves forward: into its own name.
  ByteVector inward = Layout2Record("abcdef", {});
  inward[2] = 0xFE; inward[3] = 0xFF; inward[4] = 0xFF; inward[5] = 0xFF;  // -2
  const Walked forward = Walk(inward + Bytes({0x00, 'z'}));
  ASSERT_GE(forward.records.size(), 2u);
  EXPECT_EQ(forward.records[1].recordPos, 14);
}

TEST(WalkChain, HugeSizesNeitherWrapNorHang) {
  ByteVector huge = Layout2Record("big.bin", Bytes({0x02, 'a', 'b', 'c'}));
  huge[2] = 0xFF; huge[3] = 0xFF; huge[4] = 0xFF; huge[5] = 0x7F;  // INT32_MAX
  const Walked walked = Walk(huge + huge);
  ASSERT_EQ(walked.records.size(), 1u);
  EXPECT_EQ(walked.records[0].dataEnd, int64_t{17} + 0x7FFFFFFF);
  EXPECT_EQ(walked.end, WalkEnd::kShortRead);
  // Everything after the header is taken as the stream of the one entry.
  EXPECT_TRUE(walked.records[0].outcome.shortRead);
}

TEST(WalkDamage, ArchiveCutAtEveryLengthEndsWithPrefixesOfTheEntries) {
  const std::vector<std::pair<std::string, ByteVector>> files = {
      {"one.txt", Text(3000, 3)}, {"two.bin", {}}, {"three.txt", Text(700, 4)}};
  for (Layout layout : {Layout::kHeader10, Layout::kHeader20}) {
    // Where each record ends: a cut there leaves a sound, shorter archive.
    std::vector<std::size_t> ends;
    ByteVector archive;
    for (const auto& [name, data] : files) {
      AppendRecord(archive, layout, name, EncodeEntry(data), static_cast<int64_t>(data.size()));
      ends.push_back(archive.size());
    }
    for (std::size_t cut = 0; cut <= archive.size(); ++cut) {
      const ByteVector part(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut));
      const Walked walked = Walk(part);
      ASSERT_EQ(walked.endings, 1);
      ASSERT_LE(walked.entries.size(), files.size());
      for (std::size_t k = 0; k < walked.entries.size(); ++k) {
        const auto& entry = walked.entries[k];
        const auto& file = files[k].second;
        ASSERT_LE(entry.bytes.size(), file.size()) << cut;
        ASSERT_TRUE(std::equal(entry.bytes.begin(), entry.bytes.end(), file.begin())) << cut;
      }
      const bool boundary = cut == 0 || std::find(ends.begin(), ends.end(), cut) != ends.end();
      EXPECT_EQ(walked.end == WalkEnd::kEndOfArchive, boundary) << cut;
      if (boundary) {
        const auto whole = std::count_if(ends.begin(), ends.end(), [&](std::size_t e) { return e <= cut; });
        EXPECT_EQ(walked.entries.size(), static_cast<std::size_t>(whole)) << cut;
      }
    }
  }
}

TEST(WalkDamage, ShortHeaderReadLeavesNoBogusFile) {
  const ByteVector archive = Pack(Layout::kHeader10, {{"a.txt", Text(100, 5)}, {"b.txt", Text(100, 6)}});
  // Cut inside the second record's name: the name has NUL bytes and is not written.
  const auto firstRecord = static_cast<std::size_t>(10 + 5) + (archive[2] | archive[3] << 8);
  const ByteVector part(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(firstRecord + 12));
  const Walked walked = Walk(part);
  ASSERT_EQ(walked.records.size(), 2u);
  EXPECT_FALSE(walked.records[1].written);
  EXPECT_EQ(walked.entries.size(), 1u);
  EXPECT_EQ(walked.end, WalkEnd::kShortRead);
}

TEST(WalkDamage, FlakyReadsNeverMisbehave) {
  const ByteVector archive =
      Pack(Layout::kHeader10, {{"a.txt", Text(9000, 7)}, {"b.txt", Text(100, 8)}, {"c.txt", Text(5000, 9)}});
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<int32_t> limits;
    for (int k = 0; k < 12; ++k) limits.push_back(static_cast<int32_t>(rng() % 2200));
    const Walked walked = Walk(archive, limits);
    // A read that comes up short and is followed by full ones can leave the walk reading
    // garbage as records; it still ends, and only plain names are ever written.
    ASSERT_EQ(walked.endings, 1);
    for (const auto& entry : walked.entries) ASSERT_TRUE(IsPlainFileName(entry.name)) << entry.name;
  }
}

WalkVerdict Judge(const ByteVector& archive) {
  MemorySource source(archive);
  RecordingSink sink;
  RecordingProgress progress;
  WalkVerdict verdict;
  WalkArchive(source, sink, progress, verdict);
  return verdict;
}

TEST(WalkVerdicts, SoundOnlyWhenEndingAtTheEndAndNamingTheEntryCutOff) {
  const std::vector<std::pair<std::string, ByteVector>> files = {
      {"one.txt", Text(3000, 3)}, {"two.bin", {}}, {"three.txt", Text(700, 4)}};
  const std::string_view names[] = {"ONE.TXT", "TWO.BIN", "THREE.TXT"};
  ByteVector archive;
  std::vector<std::size_t> ends;
  for (const auto& [name, data] : files) {
    AppendRecord(archive, Layout::kHeader10, name, EncodeEntry(data), static_cast<int64_t>(data.size()));
    ends.push_back(archive.size());
  }
  for (std::size_t cut = 0; cut <= archive.size(); ++cut) {
    const WalkVerdict verdict = Judge(ByteVector(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut)));
    const auto whole = static_cast<std::size_t>(std::count_if(ends.begin(), ends.end(), [&](std::size_t e) { return e <= cut; }));
    const bool boundary = cut == 0 || (whole > 0 && ends[whole - 1] == cut);
    ASSERT_EQ(verdict.damaged(), !boundary) << cut;
    // A cut past the name bytes of the next record names that record's entry.
    const std::size_t start = whole == 0 ? 0 : ends[whole - 1];
    if (!boundary && cut >= start + kLayout2HeaderSize + names[whole].size()) {
      EXPECT_EQ(verdict.damagedEntry(), names[whole]) << cut;
    }
  }

  // A stream the decoder cannot take whole (a literal run cut off inside its record) is
  // damage too, though the records chain up to the end; the walk's first such entry is named.
  const ByteVector refused = Layout2Record("bad.txt", Bytes({0x7F, 'a', 'b'}));
  const WalkVerdict verdict = Judge(Pack(Layout::kHeader10, {{"ok.txt", Text(50, 1)}}) + refused +
                                    Layout2Record("late.txt", Bytes({0x00, 'z'})));
  EXPECT_EQ(verdict.end(), WalkEnd::kEndOfArchive);
  EXPECT_TRUE(verdict.damaged());
  EXPECT_EQ(verdict.damagedEntry(), "BAD.TXT");
}

// A sink that can write no more once the walk's verdict finds damage, as the launcher's is.
class StopAtDamageSink final : public EntrySink {
 public:
  explicit StopAtDamageSink(const WalkVerdict& verdict) : verdict_(verdict) {}
  void Begin(std::string_view name) override { names.emplace_back(name); }
  void Write(const std::uint8_t*, std::size_t) override {}
  void End() override {}
  bool Failed() const override { return verdict_.damaged(); }
  std::vector<std::string> names;

 private:
  const WalkVerdict& verdict_;
};

TEST(WalkVerdicts, ADamagedRecordStopsTheWalkWhetherOrNotItsNameWasSkipped) {
  for (const std::string_view damagedName : {"bad.txt", "..\\bad.dll"}) {
    const ByteVector archive = Pack(Layout::kHeader10, {{"ok.txt", Text(50, 1)}}) +
                               Layout2Record(damagedName, Bytes({0x7F, 'a', 'b'})) +
                               Layout2Record("late.txt", Bytes({0x00, 'z'}));
    MemorySource source(archive);
    WalkVerdict verdict;
    StopAtDamageSink sink(verdict);
    RecordingProgress progress;
    WalkArchive(source, sink, progress, verdict);
    EXPECT_TRUE(verdict.damaged()) << damagedName;
    EXPECT_EQ(verdict.end(), WalkEnd::kSinkFailed) << damagedName;
    EXPECT_EQ(std::find(sink.names.begin(), sink.names.end(), "LATE.TXT"), sink.names.end()) << damagedName;
  }
}

TEST(WalkProgress, EveryChangeReportedOnceAndLayout1ReachesAHundred) {
  std::vector<std::pair<std::string, ByteVector>> files;
  for (int k = 0; k < 6; ++k) files.push_back({std::string(1, 'f').append(std::to_string(k)), Text(40000, 10 + k)});
  const Walked one = Walk(Pack(Layout::kHeader20, files));
  ASSERT_FALSE(one.reports.empty());
  EXPECT_EQ(one.reports.back(), 100);  // every byte of a layout-1 archive is counted
  for (std::size_t k = 0; k < one.reports.size(); ++k) {
    EXPECT_GE(one.reports[k], 1);
    if (k > 0) {
      EXPECT_GT(one.reports[k], one.reports[k - 1]);
    }
  }
  // Layout 2 does not count the first byte or the name bytes, so it stops just short.
  const ByteVector two = Pack(Layout::kHeader10, files);
  const Walked counted = Walk(two);
  ASSERT_FALSE(counted.reports.empty());
  EXPECT_EQ(counted.reports.back(), 100);  // six short names in 100 kB round away
  // Skipping an unsafe entry does not change the reports.
  files[2].first = "..";
  EXPECT_EQ(Walk(Pack(Layout::kHeader10, files)).reports, counted.reports);
}

}  // namespace
}  // namespace archive
