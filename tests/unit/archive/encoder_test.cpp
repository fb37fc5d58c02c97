// The encoder: exact round trips, the format's rules, and optimality against a brute-force
// shortest path that tries every token at every position.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/encoder.h"
#include "tools/match_finder.h"
#include "tests/oracle/reference.h"

namespace archive {

using namespace tools;
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

}  // namespace
}  // namespace archive
