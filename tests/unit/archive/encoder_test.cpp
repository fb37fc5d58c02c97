// The encoder: exact round trips, the format's rules, optimality against a brute-force
// shortest path that tries every token at every position, and the split encoder's stream
// against the whole entry's.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "archive/encoder.h"
#include "archive/match_finder.h"
#include "tests/oracle/reference.h"

namespace archive {

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector Random(std::size_t size, int alphabet, std::uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVector bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>('a' + rng() % static_cast<unsigned>(alphabet));
  return bytes;
}

// Pieces of earlier bytes repeated at random distances, as in programs and text.
ByteVector Repetitive(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVector bytes;
  while (bytes.size() < size) {
    if (bytes.size() < 8 || rng() % 3 == 0) {
      bytes.push_back(static_cast<std::uint8_t>(rng()));
      continue;
    }
    const std::size_t back = 1 + rng() % std::min<std::size_t>(bytes.size(), 300);
    const std::size_t length = 1 + rng() % 140;
    for (std::size_t k = 0; k < length && bytes.size() < size; ++k)
      bytes.push_back(bytes[bytes.size() - back]);
  }
  return bytes;
}

// Stretches of noise long enough for literal runs of up to 128 and beyond, between pieces of
// earlier bytes: literal runs and copies meet at every offset.
ByteVector Patchy(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  ByteVector bytes;
  while (bytes.size() < size) {
    const bool noise = bytes.size() < 8 || rng() % 2 == 0;
    const std::size_t length = noise ? 1 + rng() % 300 : 4 + rng() % 200;
    const std::size_t back = 1 + rng() % std::min<std::size_t>(std::max<std::size_t>(bytes.size(), 1), 256);
    for (std::size_t k = 0; k < length && bytes.size() < size; ++k)
      bytes.push_back(noise ? static_cast<std::uint8_t>(rng()) : bytes[bytes.size() - back]);
  }
  return bytes;
}

void ExpectSoundStream(const ByteVector& data, const ByteVector& stream) {
  ASSERT_EQ(oracle::DecodeBytes(stream), data);
  EXPECT_TRUE(oracle::IsEncoderStream(stream, data));
}

TEST(EncoderRoundTrip, SmallAndBoundarySizes) {
  for (std::size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 127u, 128u, 129u, 130u, 131u, 132u, 255u, 256u,
                           257u, 2047u, 2048u, 2049u, 4100u}) {
    for (int alphabet : {1, 2, 4, 256}) {
      const ByteVector data = Random(size, alphabet, static_cast<std::uint32_t>(size));
      SCOPED_TRACE(::testing::Message() << size << " bytes, alphabet " << alphabet);
      ExpectSoundStream(data, EncodeEntry(data));
      ExpectSoundStream(data, EncodeEntryGreedy(data));
    }
  }
}

TEST(EncoderRoundTrip, LongRunsPeriodicDataAndNoise) {
  ByteVector run(300000, 0x00);
  ExpectSoundStream(run, EncodeEntry(run));
  // One byte repeated compresses to copies of 131 from far enough back.
  EXPECT_LT(EncodeEntry(run).size(), run.size() / 60);

  ByteVector periodic;
  for (int k = 0; k < 100000; ++k) periodic.push_back(static_cast<std::uint8_t>(k % 3 == 0 ? 'x' : 'y'));
  ExpectSoundStream(periodic, EncodeEntry(periodic));

  const ByteVector noise = Random(200000, 256, 5);
  const ByteVector stream = EncodeEntry(noise);
  ExpectSoundStream(noise, stream);
  // Incompressible data costs one control byte per 128 bytes, and nothing more.
  EXPECT_LE(stream.size(), noise.size() + (noise.size() + 127) / 128);

  const ByteVector mixed = Repetitive(300000, 6);
  ExpectSoundStream(mixed, EncodeEntry(mixed));
}

TEST(EncoderOptimality, SameSizeAsTheBruteForceShortestPath) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 120; ++trial) {
    const std::size_t size = rng() % 700;
    const int alphabet = 1 + static_cast<int>(rng() % 4);
    const ByteVector data = trial % 2 ? Random(size, alphabet, rng()) : Repetitive(size, rng());
    SCOPED_TRACE(::testing::Message() << "trial " << trial << ", " << size << " bytes");
    const ByteVector stream = EncodeEntry(data);
    ExpectSoundStream(data, stream);
    EXPECT_EQ(stream.size(), oracle::OptimalSize(data));
  }
}

TEST(EncoderOptimality, LiteralRunsAndCopiesMeetingAtEveryOffset) {
  // The literal runs' window is kept per block of 128 positions; sizes on and beside the
  // blocks' edges, and long inputs where runs of every length cross them.
  for (std::size_t size : {127u, 128u, 129u, 255u, 256u, 257u, 383u, 384u, 385u, 1024u, 1025u}) {
    for (std::uint32_t seed = 0; seed < 3; ++seed) {
      const ByteVector data = Patchy(size, seed * 977 + static_cast<std::uint32_t>(size));
      SCOPED_TRACE(::testing::Message() << size << " bytes, seed " << seed);
      const ByteVector stream = EncodeEntry(data);
      ExpectSoundStream(data, stream);
      EXPECT_EQ(stream.size(), oracle::OptimalSize(data));
    }
  }
  for (std::uint32_t seed = 0; seed < 6; ++seed) {
    const ByteVector data = Patchy(6000, 100 + seed);
    SCOPED_TRACE(::testing::Message() << "6000 bytes, seed " << seed);
    const ByteVector stream = EncodeEntry(data);
    ExpectSoundStream(data, stream);
    EXPECT_EQ(stream.size(), oracle::OptimalSize(data));
  }
}

TEST(EncoderOptimality, BeatsGreedyWhereALongCopyHidesACheaperSplit) {
  // Greedy takes whatever copy is longest; the optimal parse must be no larger anywhere and
  // smaller on data like this, where cutting a copy short saves a literal run later.
  std::size_t greedyTotal = 0, optimalTotal = 0;
  for (std::uint32_t seed = 0; seed < 40; ++seed) {
    const ByteVector data = Repetitive(3000, seed);
    const std::size_t greedy = EncodeEntryGreedy(data).size();
    const std::size_t optimal = EncodeEntry(data).size();
    EXPECT_LE(optimal, greedy);
    greedyTotal += greedy;
    optimalTotal += optimal;
  }
  EXPECT_LT(optimalTotal, greedyTotal);
}

// The longest copy at every position by trying every distance, against the match finder's.
void ExpectLongestCopies(const ByteVector& data) {
  ByteVector length(data.size()), distance(data.size());
  FindLongestCopies(data, length, distance);
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::size_t best = 0, nearest = 0;
    for (std::size_t d = 1; d <= 256 && d <= i; ++d) {
      std::size_t n = 0;
      while (n < d && n < 131 && i + n < data.size() && data[i + n] == data[i - d + n]) ++n;
      if (n > best) best = n, nearest = d;
    }
    const std::size_t expected = best >= 4 ? best : 0;
    ASSERT_EQ(length[i], expected) << "at " << i;
    if (expected == 0) {
      ASSERT_EQ(distance[i], 0) << "at " << i;
      continue;
    }
    // The distance given reaches the whole length, and no nearer one does.
    const std::size_t d = distance[i] + 1u;
    ASSERT_LE(d, i);
    ASSERT_GE(d, expected);
    for (std::size_t k = 0; k < expected; ++k) ASSERT_EQ(data[i + k], data[i - d + k]);
    ASSERT_EQ(d, nearest) << "at " << i;
  }
}

TEST(MatchFinder, LongestCopyAtEveryPositionMatchesAFullSearch) {
  for (std::uint32_t seed = 0; seed < 12; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    ExpectLongestCopies(seed % 2 ? Random(1500, 2 + static_cast<int>(seed % 3), seed) : Repetitive(1500, seed));
  }
  ExpectLongestCopies(Patchy(3000, 4));
}

TEST(MatchFinder, NoCopyReachesBeforeTheData) {
  // Zero bytes are what lies before the data in the finder's own window; a copy found there
  // would decode from bytes that were never written.
  for (std::size_t size = 1; size <= 300; ++size) {
    SCOPED_TRACE(::testing::Message() << size << " zero bytes");
    ExpectLongestCopies(ByteVector(size, 0));
  }
  ByteVector zeroStart(600, 0);
  for (std::size_t k = 200; k < zeroStart.size(); k += 7) zeroStart[k] = 1;
  ExpectLongestCopies(zeroStart);
}

TEST(MatchFinder, ARangeGivesWhatTheWholeDataGivesThere) {
  const ByteVector inputs[] = {Repetitive(3000, 8), Random(3000, 2, 9), ByteVector(700, 0), Random(200, 3, 10)};
  for (const ByteVector& data : inputs) {
    const std::size_t size = data.size();
    ByteVector length(size), distance(size);
    FindLongestCopies(data, length, distance);
    // Ends and starts near the front's 256 padded bytes, near the 131 bytes a run looks ahead
    // and at the data's ends.
    const std::size_t marks[] = {0, 1, 100, 255, 256, 257, 400, size - 131, size - 130, size - 129, size - 1, size};
    for (std::size_t first : marks) {
      for (std::size_t last : marks) {
        if (first > last || last > size) continue;
        SCOPED_TRACE(::testing::Message() << size << " bytes, [" << first << ", " << last << ")");
        ByteVector rangeLength(last - first, 0xEE), rangeDistance(last - first, 0xEE);
        FindLongestCopies(data, first, last, rangeLength, rangeDistance);
        EXPECT_EQ(rangeLength, ByteVector(length.begin() + first, length.begin() + last));
        EXPECT_EQ(rangeDistance, ByteVector(distance.begin() + first, distance.begin() + last));
      }
    }
  }
}

// The split encoder's stream, its pieces taken in turn by `threads` threads, from the
// entry's end as they are numbered, or from its start (every seam then waits for the last
// piece, and is joined at the end by one thread).
struct Split {
  ByteVector stream;
  std::size_t redone = 0;
};

Split SplitEncode(const ByteVector& data, std::size_t pieceSize, unsigned threads, bool fromStart = false) {
  SplitEncoder encoder(data, pieceSize);
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t k = next++; k < encoder.Pieces(); k = next++)
      encoder.RunPiece(fromStart ? encoder.Pieces() - 1 - k : k);
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return {encoder.Finish(), encoder.Redone()};
}

ByteVector Periodic(std::size_t size, const std::string& pattern) {
  ByteVector bytes(size);
  for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<std::uint8_t>(pattern[k % pattern.size()]);
  return bytes;
}

ByteVector Concatenated(std::initializer_list<ByteVector> stretches) {
  ByteVector bytes;
  for (const ByteVector& stretch : stretches) bytes.insert(bytes.end(), stretch.begin(), stretch.end());
  return bytes;
}

void ExpectSameAsWhole(const ByteVector& data, std::size_t pieceSize) {
  const ByteVector whole = EncodeEntry(data);
  for (unsigned threads : {1u, 2u, 3u}) {
    SCOPED_TRACE(::testing::Message() << threads << " threads");
    ASSERT_EQ(SplitEncode(data, pieceSize, threads).stream, whole);
  }
  ASSERT_EQ(SplitEncode(data, pieceSize, 2, true).stream, whole) << "pieces from the start";
}

TEST(SplitEncoder, SameBytesAsTheWholeEntryAtEverySizeAroundThePieces) {
  // Pieces of 256 (the smallest) and others; sizes on and beside their multiples, so that the
  // first piece, which takes the remainder, is one to two pieces long, and entries too small
  // to split. In pieces of 600 a seam's first chunk of 512 ends inside the head that the seam
  // before it starts from.
  for (std::size_t piece : {256u, 300u, 600u, 1000u}) {
    for (std::size_t size : {0u, 1u, 2u, 3u, 131u, 255u, 256u, 257u, 511u, 512u, 513u, 768u, 769u, 1999u,
                             2000u, 2001u, 3000u, 3001u, 5000u}) {
      const auto seed = static_cast<std::uint32_t>(size * 31 + piece);
      const ByteVector inputs[] = {Random(size, 2, seed), Random(size, 256, seed), Patchy(size, seed),
                                   Periodic(size, "xyy"), ByteVector(size, 0)};
      for (const ByteVector& data : inputs) {
        SCOPED_TRACE(::testing::Message() << size << " bytes, pieces of " << piece);
        ExpectSameAsWhole(data, piece);
      }
    }
  }
}

TEST(SplitEncoder, SameBytesOnTheHardestParsesAcrossManySeams) {
  const ByteVector inputs[] = {Random(150000, 2, 1),  Random(150000, 4, 2),  Periodic(150000, "ab"),
                               Periodic(150000, "xyy"), ByteVector(150000, 0x41), Random(150000, 256, 3),
                               Repetitive(150000, 4), Patchy(150000, 5)};
  for (std::size_t i = 0; i < std::size(inputs); ++i) {
    for (std::size_t piece : {256u, 4096u, 40000u}) {
      SCOPED_TRACE(::testing::Message() << "input " << i << ", pieces of " << piece);
      ExpectSameAsWhole(inputs[i], piece);
    }
  }
}

TEST(SplitEncoder, SeamsMeetSoonInProgramLikeDataAndOnlyAfterALongRunEnds) {
  // Pieces of copies and noise: the two parses meet soon after each seam.
  const ByteVector program = Repetitive(1 << 20, 12);
  const Split split = SplitEncode(program, 1 << 16, 2);
  EXPECT_EQ(split.stream, EncodeEntry(program));
  EXPECT_LT(split.redone, 15u * 2048) << "15 seams";

  // A run of 150,000 zero bytes across the one seam (at 150,000): one byte repeated keeps
  // the end's phase in its costs, so the parses meet only below the run, past the 8,192
  // positions kept whole, at one of the windows kept further down, short of the piece's start.
  const ByteVector runAcross = Concatenated({Repetitive(100000, 13), ByteVector(150000, 0), Repetitive(50000, 14)});
  const Split across = SplitEncode(runAcross, 150000, 2);
  EXPECT_EQ(across.stream, EncodeEntry(runAcross));
  EXPECT_GT(across.redone, 50000u + 8192);
  EXPECT_LT(across.redone, 150000u);

  // Longer: the run covers the kept windows too, whose costs, cut off from the ones above by
  // the positions between, must not count as lined up with them.
  const ByteVector longRun = Concatenated({Repetitive(100000, 15), ByteVector(300000, 0), Repetitive(50000, 16)});
  for (std::size_t piece : {200000u, 210000u, 220000u}) {
    SCOPED_TRACE(::testing::Message() << "pieces of " << piece);
    const Split split = SplitEncode(longRun, piece, 2);
    EXPECT_EQ(split.stream, EncodeEntry(longRun));
    EXPECT_GT(split.redone, 450000 - piece - 100000);  // the whole run below the seam
  }
}

}  // namespace
}  // namespace archive
