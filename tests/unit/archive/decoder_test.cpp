// The entry decoder against the format's worked examples, its boundaries, and a literal
// step-by-step model of the decoding loop (archive/reference) on random and damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "archive/decoder.h"
#include "archive/format.h"
#include "archive/memory_io.h"
#include "archive/percent.h"
#include "tests/oracle/reference.h"
#include "test_support.h"

namespace archive {
namespace {

using testing::Bytes;
using testing::RecordingProgress;
using testing::RecordingSink;
using testing::StingySource;
using ByteVector = std::vector<std::uint8_t>;

struct Decoded {
  ByteVector bytes;
  std::vector<std::size_t> pieces;
  std::vector<int32_t> reports;
  int32_t bytesCounted = 0;
  EntryOutcome outcome;
};

// Decodes `stream`, placed at `offset` inside an archive of `archiveSize` bytes (padding
// around it), with reads limited as StingySource does.
Decoded Decode(const ByteVector& stream, std::vector<int32_t> limits = {}, int32_t offset = 0,
           int64_t dataEndExtra = 0) {
  ByteVector archive(static_cast<std::size_t>(offset), 0xEE);
  archive.insert(archive.end(), stream.begin(), stream.end());
  StingySource source(archive, std::move(limits));
  source.Seek(offset);
  ArchiveReader reader(source);
  RecordingProgress report;
  WalkProgress progress(static_cast<int32_t>(archive.size()), report);
  RecordingSink sink;
  sink.Begin("X");
  Decoded run;
  run.outcome = ExtractEntry(reader, offset, offset + static_cast<int64_t>(stream.size()) + dataEndExtra,
                             &sink, progress);
  run.bytes = sink.entries[0].bytes;
  run.pieces = sink.entries[0].pieces;
  run.reports = report.reports;
  run.bytesCounted = progress.bytesCounted();
  return run;
}

// The same through the reference model.
Decoded DecodeByReference(const ByteVector& stream, std::vector<int32_t> limits = {},
                      int32_t offset = 0, int64_t dataEndExtra = 0) {
  ByteVector archive(static_cast<std::size_t>(offset), 0xEE);
  archive.insert(archive.end(), stream.begin(), stream.end());
  StingySource source(archive, std::move(limits));
  source.Seek(offset);
  const auto trace = oracle::Decode(
      source, offset, offset + static_cast<int64_t>(stream.size()) + dataEndExtra,
      static_cast<int32_t>(archive.size()), 0, 0, ComputePercent);
  Decoded run;
  for (const auto& piece : trace.writes) {
    run.bytes.insert(run.bytes.end(), piece.begin(), piece.end());
    run.pieces.push_back(piece.size());
  }
  run.reports = trace.reports;
  run.bytesCounted = trace.bytesCounted;
  return run;
}

void ExpectSameAsReference(const ByteVector& stream, std::vector<int32_t> limits = {},
                           int32_t offset = 0, int64_t dataEndExtra = 0) {
  const Decoded real = Decode(stream, limits, offset, dataEndExtra);
  const Decoded model = DecodeByReference(stream, limits, offset, dataEndExtra);
  ASSERT_EQ(real.bytes, model.bytes);
  EXPECT_EQ(real.pieces, model.pieces);
  EXPECT_EQ(real.reports, model.reports);
  EXPECT_EQ(real.bytesCounted, model.bytesCounted);
  EXPECT_EQ(real.outcome.decodedBytes, static_cast<int64_t>(model.bytes.size()));
}

ByteVector Literal(const ByteVector& bytes) {
  ByteVector token(bytes.size() + 1);
  token[0] = static_cast<std::uint8_t>(bytes.size() - 1);
  std::copy(bytes.begin(), bytes.end(), token.begin() + 1);
  return token;
}

ByteVector Copy(int length, int position) {
  return Bytes({kCopyFlag + length - kShortestCopy, position});
}

ByteVector operator+(ByteVector a, const ByteVector& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

ByteVector Pattern(std::size_t size, std::uint32_t seed = 1) {
  std::mt19937 rng(seed);
  ByteVector bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

// A literal-only stream of `size` bytes of output in runs of `run`.
ByteVector LiteralStream(const ByteVector& output, std::size_t run) {
  ByteVector stream;
  for (std::size_t at = 0; at < output.size(); at += run) {
    const std::size_t n = std::min(run, output.size() - at);
    stream = stream + Literal(ByteVector(output.begin() + at, output.begin() + at + n));
  }
  return stream;
}

TEST(DecoderExamples, LiteralThenCopiesOfTheHistory) {
  EXPECT_EQ(Decode(Bytes({0x03, 'a', 'b', 'c', 'd', 0x80, 0x01})).bytes, Bytes("abcdabcd"));
  EXPECT_EQ(Decode(Bytes({0x03, 'a', 'b', 'c', 'd', 0x80, 0x01, 0x84, 0x01})).bytes,
            Bytes("abcdabcdabcdabcd"));
}

TEST(DecoderExamples, CopyReachingPastTheHistoryIsCutShortNotPadded) {
  const Decoded run = Decode(Bytes({0x03, 'a', 'b', 'c', 'd', 0x81, 0x02}));
  EXPECT_EQ(run.bytes, Bytes("abcdbcd"));
  EXPECT_TRUE(run.outcome.malformed);
}

TEST(DecoderCopies, PositionZeroAndPositionsPastTheHistoryYieldNothing) {
  EXPECT_EQ(Decode(Literal(Bytes("abcd")) + Copy(4, 0)).bytes, Bytes("abcd"));
  EXPECT_EQ(Decode(Literal(Bytes("abcd")) + Copy(4, 5)).bytes, Bytes("abcd"));
  EXPECT_EQ(Decode(Literal(Bytes("abcd")) + Copy(131, 255)).bytes, Bytes("abcd"));
  // A copy first thing in an entry has no history at all.
  EXPECT_EQ(Decode(Copy(4, 1) + Literal(Bytes("z"))).bytes, Bytes("z"));
  // Decoding goes on with the next token after each of them.
  EXPECT_EQ(Decode(Literal(Bytes("ab")) + Copy(4, 0) + Literal(Bytes("c")) + Copy(4, 1)).bytes,
            Bytes("abcabc"));
}

TEST(DecoderCopies, NeverReadTheirOwnOutput) {
  // "a" then a copy of 8 from position 1: the history holds one byte, so one byte comes out.
  EXPECT_EQ(Decode(Literal(Bytes("a")) + Copy(8, 1)).bytes, Bytes("aa"));
}

TEST(DecoderCopies, PositionOneOfAFullHistoryIs256BytesBack) {
  const ByteVector first = Pattern(300);
  const Decoded run = Decode(LiteralStream(first, 100) + Copy(4, 1));
  ASSERT_EQ(run.bytes.size(), 304u);
  EXPECT_EQ(ByteVector(run.bytes.begin() + 300, run.bytes.end()),
            ByteVector(first.begin() + 44, first.begin() + 48));
  EXPECT_FALSE(run.outcome.malformed);
  // Position 253 with length 4 ends on the newest byte; 254 would reach past it.
  const Decoded last = Decode(LiteralStream(first, 100) + Copy(4, 253) + Copy(4, 254));
  EXPECT_EQ(ByteVector(last.bytes.begin() + 300, last.bytes.begin() + 304),
            ByteVector(first.begin() + 296, first.end()));
  EXPECT_EQ(last.bytes.size(), 307u);  // the second copy yields 3 bytes of the new history
}

TEST(DecoderCopies, BeforeAFullHistoryPositionOneIsTheEntrysFirstByte) {
  const ByteVector first = Pattern(200);
  const Decoded run = Decode(LiteralStream(first, 128) + Copy(131, 1));
  ASSERT_EQ(run.bytes.size(), 331u);
  EXPECT_EQ(ByteVector(run.bytes.begin() + 200, run.bytes.end()),
            ByteVector(first.begin(), first.begin() + 131));
}

TEST(DecoderCopies, EveryLengthAndEveryPositionMatchesTheModel) {
  const ByteVector prefix = LiteralStream(Pattern(256, 3), 128);
  for (int length = kShortestCopy; length <= kLongestCopy; ++length) {
    for (int position = 0; position <= 255; position += 3) {
      ExpectSameAsReference(prefix + Copy(length, position) + Copy(length, 256 - position));
    }
  }
}

TEST(DecoderLiterals, BoundaryLengths) {
  for (std::size_t n : {1u, 2u, 127u, 128u}) {
    const ByteVector bytes = Pattern(n, static_cast<std::uint32_t>(n));
    EXPECT_EQ(Decode(Literal(bytes)).bytes, bytes) << n;
  }
}

TEST(DecoderLiterals, RunCutOffByTheEndYieldsWhatIsThere) {
  const Decoded run = Decode(Bytes({0x7F, 'a', 'b'}));
  EXPECT_EQ(run.bytes, Bytes("ab"));
  EXPECT_TRUE(run.outcome.malformed);
}

TEST(DecoderLiterals, CopyWithoutItsPositionByteYieldsNothing) {
  const Decoded run = Decode(Literal(Bytes("abcd")) + Bytes({0x80}));
  EXPECT_EQ(run.bytes, Bytes("abcd"));
  EXPECT_TRUE(run.outcome.malformed);
}

TEST(DecoderChunks, LongestLiteralStraddlingAChunkBorder) {
  // Literal runs of 2 bytes (3-byte tokens) up to just before offset 2048, then a run of 128
  // whose bytes cross the border, at every alignment near it.
  for (int shift = 0; shift < 130; ++shift) {
    ByteVector output = Pattern(static_cast<std::size_t>(2 * (682 - shift / 3)), 9);
    ByteVector stream = LiteralStream(output, 2);
    const ByteVector tail = Pattern(128, 10);
    stream = stream + Literal(tail) + Literal(Bytes("end"));
    output = output + tail + Bytes("end");
    const Decoded run = Decode(stream);
    ASSERT_EQ(run.bytes, output) << shift;
    EXPECT_FALSE(run.outcome.malformed);
  }
}

TEST(DecoderChunks, StreamsOfExactChunkMultiplesAndShortStreams) {
  for (std::size_t size : {2048u * 1, 2048u * 2, 2048u * 3, 128u, 2u, 129u, 130u, 2049u}) {
    // Runs of 127 bytes (128-byte tokens), padded to the exact size with a final literal.
    ByteVector output;
    ByteVector stream;
    while (size - stream.size() > 129) {
      const ByteVector part = Pattern(127, static_cast<std::uint32_t>(stream.size()));
      stream = stream + Literal(part);
      output = output + part;
    }
    const ByteVector last = Pattern(size - stream.size() - 1, 5);
    stream = stream + Literal(last);
    output = output + last;
    ASSERT_EQ(stream.size(), size);
    EXPECT_EQ(Decode(stream).bytes, output) << size;
    ExpectSameAsReference(stream);
  }
}

TEST(DecoderOutput, WrittenInPiecesOfMoreThanAChunkAndAFinalPiece) {
  const ByteVector output = Pattern(20000, 4);
  // Copies make the output grow faster than the stream: a mix of both.
  ByteVector stream;
  for (std::size_t at = 0; at < 2000; at += 100) {
    stream = stream + Literal(ByteVector(output.begin() + at, output.begin() + at + 100));
    stream = stream + Copy(131, 1) + Copy(77, 20);
  }
  const Decoded run = Decode(stream);
  ASSERT_GT(run.pieces.size(), 2u);
  for (std::size_t k = 0; k + 1 < run.pieces.size(); ++k) {
    EXPECT_GT(run.pieces[k], 2048u);
    EXPECT_LE(run.pieces[k], 2048u + 131u);
  }
  ExpectSameAsReference(stream);
}

TEST(DecoderOutput, SmallEntryReachesTheOutputInTheFinalWriteAlone) {
  const ByteVector output = Pattern(2048, 6);
  const Decoded run = Decode(LiteralStream(output, 128));
  EXPECT_EQ(run.pieces, std::vector<std::size_t>{2048});
  EXPECT_TRUE(Decode({}).pieces.empty());  // nothing at all for an empty range
}

TEST(DecoderRanges, EmptyOrBackwardsRangesReadNothing) {
  const Decoded empty = Decode({});
  EXPECT_TRUE(empty.bytes.empty());
  EXPECT_EQ(empty.bytesCounted, 0);
  const Decoded backwards = Decode(Bytes({0x00, 'a'}), {}, 10, -5);  // dataEnd = dataStart - 3
  EXPECT_TRUE(backwards.bytes.empty());
  EXPECT_EQ(backwards.bytesCounted, 0);
  EXPECT_TRUE(backwards.reports.empty());
}

TEST(DecoderShortReads, CountAtTheSizeAskedForAndEndWhenNothingIsPending) {
  // A range claiming a gigabyte more than the archive holds: the reads come up short, the
  // entry gets what was delivered, and the loop ends within a few passes.
  const ByteVector output = Pattern(3000, 8);
  const ByteVector stream = LiteralStream(output, 128);
  const Decoded run = Decode(stream, {}, 0, int64_t{1} << 30);
  EXPECT_EQ(run.bytes, output);
  EXPECT_TRUE(run.outcome.shortRead);
  // Two chunks delivered in full, the third short (counted as 2048), then one more empty read.
  EXPECT_EQ(run.bytesCounted, 4 * 2048);
  ExpectSameAsReference(stream, {}, 0, int64_t{1} << 30);
}

TEST(DecoderShortReads, ReadsThatDeliverLessThanAskedMatchTheModel) {
  std::mt19937 rng(11);
  const ByteVector output = Pattern(9000, 12);
  ByteVector stream;
  for (std::size_t at = 0; at + 128 <= output.size(); at += 128)
    stream = stream + Literal(ByteVector(output.begin() + at, output.begin() + at + 128)) +
             Copy(static_cast<int>(rng() % 128) + 4, static_cast<int>(rng() % 250) + 1);
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<int32_t> limits;
    for (int k = 0; k < 40; ++k) limits.push_back(static_cast<int32_t>(rng() % 2100));
    ExpectSameAsReference(stream, limits, static_cast<int32_t>(rng() % 50));
  }
}

TEST(DecoderNoise, RandomAndMutatedStreamsMatchTheModel) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 200; ++trial) {
    ByteVector stream = Pattern(rng() % 7000, static_cast<std::uint32_t>(trial));
    ExpectSameAsReference(stream);
  }
  // A sound stream with bytes overwritten.
  const ByteVector output = Pattern(5000, 14);
  ByteVector sound;
  for (std::size_t at = 0; at + 64 <= output.size(); at += 64)
    sound = sound + Literal(ByteVector(output.begin() + at, output.begin() + at + 64)) + Copy(40, 3);
  for (int trial = 0; trial < 200; ++trial) {
    ByteVector noisy = sound;
    for (int k = 0; k < 1 + trial % 8; ++k) noisy[rng() % noisy.size()] = static_cast<std::uint8_t>(rng());
    ExpectSameAsReference(noisy);
  }
}

TEST(DecoderNoise, SoundStreamCutAtEveryLength) {
  const ByteVector output = Pattern(600, 15);
  ByteVector stream;
  for (std::size_t at = 0; at + 60 <= output.size(); at += 60)
    stream = stream + Literal(ByteVector(output.begin() + at, output.begin() + at + 60)) + Copy(100, 7);
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    const ByteVector part(stream.begin(), stream.begin() + cut);
    ExpectSameAsReference(part);
  }
}

TEST(DecoderProgress, ReportedAfterEachChunkOnlyWhenTheWholePercentChanges) {
  // 100 chunks of 2048 in an archive of 204800 bytes: 1 % per chunk, never 0 %.
  const ByteVector stream = LiteralStream(Pattern(100 * 2048 * 128 / 129 + 1, 16), 128);
  ByteVector archive = stream;
  archive.resize(100 * 2048, 0);
  MemorySource source(archive);
  ArchiveReader reader(source);
  RecordingProgress report;
  WalkProgress progress(static_cast<int32_t>(archive.size()), report);
  ExtractEntry(reader, 0, static_cast<int64_t>(archive.size()), nullptr, progress);
  ASSERT_EQ(report.reports.size(), 100u);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(report.reports[static_cast<std::size_t>(k)], k + 1);
}

}  // namespace
}  // namespace archive
