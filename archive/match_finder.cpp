#include "archive/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/format.h"

namespace archive {


namespace {

constexpr int kDistances = kHistorySize;

// Lane j of the per-distance tables stands for distance 256 - j, so that lane j compares with
// padded[i + j] == data[i - 256 + j] and the loops below run over contiguous bytes.
struct DistanceLanes {
  alignas(64) std::uint8_t run[kDistances] = {};  // equal bytes from i onward, capped below
  // The longest copy from this distance: min(distance, 131), as a copy stays behind i; 0 for a
  // distance that reaches before the data. Positions are visited backwards, so a distance
  // that reaches before the data at one position does so at every later-visited one.
  alignas(64) std::uint8_t cap[kDistances] = {};
};
static_assert(kLongestCopy < 256 && kDistances <= 256, "a run and a lane each fit a byte");

// The per-distance loop is the same work for every input, so a fuzzer's comparison tracing
// there only slows it down without guiding it.
#if defined(__clang__)
#define EEK_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define EEK_NO_COVERAGE
#endif

// Vectors of 32 lanes in the compiler's own notation, so that every build (each clone below,
// the 32-bit Windows one too) gets code for its own instruction set.
using Bytes32 = std::uint8_t __attribute__((vector_size(32)));
using Words16 = std::uint16_t __attribute__((vector_size(32)));
constexpr int kVectorLanes = 32;
static_assert(kDistances % kVectorLanes == 0);
static_assert(std::endian::native == std::endian::little, "a (lane, run) byte pair is one word");
constexpr Bytes32 kLaneNumbers = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                  16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
// Interleaving (a lane number from the first operand, its run from the second) in the order
// of the unpack instructions, which pair within each half of 16.
#define EEK_LOW_PAIRS                                                                            \
  0, 32, 1, 33, 2, 34, 3, 35, 4, 36, 5, 37, 6, 38, 7, 39, 16, 48, 17, 49, 18, 50, 19, 51, 20, 52, \
      21, 53, 22, 54, 23, 55
#define EEK_HIGH_PAIRS                                                                           \
  8, 40, 9, 41, 10, 42, 11, 43, 12, 44, 13, 45, 14, 46, 15, 47, 24, 56, 25, 57, 26, 58, 27, 59,  \
      28, 60, 29, 61, 30, 62, 31, 63
#if defined(__clang__)
#define EEK_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define EEK_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, Bytes32{__VA_ARGS__})
#endif

// One position, scanning backwards: the runs of all 256 distances, and the longest of them
// as run * 256 + lane, so that the lane comes with the maximum and is never searched for
// (among equal runs, the highest lane: the nearest distance). The same work whatever the
// data, without branches.
EEK_NO_COVERAGE inline unsigned Step(std::uint8_t* __restrict run, const std::uint8_t* __restrict cap,
                                     const std::uint8_t* __restrict window, std::uint8_t byte) {
  Words16 best = {};
  for (int j = 0; j < kDistances; j += kVectorLanes) {
    // An equal byte grows the run (up to the cap), another ends it.
    Bytes32 seen, was, capped;
    std::memcpy(&seen, window + j, sizeof seen);
    std::memcpy(&was, run + j, sizeof was);
    std::memcpy(&capped, cap + j, sizeof capped);
    const Bytes32 equal = reinterpret_cast<Bytes32>(seen == byte);
    const Bytes32 grown = was + 1;
    const Bytes32 now = (grown < capped ? grown : capped) & equal;
    std::memcpy(run + j, &now, sizeof now);
    // Byte pairs (lane, run) read as words are run * 256 + lane on a little-endian machine.
    const Bytes32 lanes = kLaneNumbers + static_cast<std::uint8_t>(j);
    const auto low = reinterpret_cast<Words16>(EEK_SHUFFLE(lanes, now, EEK_LOW_PAIRS));
    const auto high = reinterpret_cast<Words16>(EEK_SHUFFLE(lanes, now, EEK_HIGH_PAIRS));
    best = best > low ? best : low;
    best = best > high ? best : high;
  }
  std::uint16_t top = 0;
  for (int t = 0; t < kVectorLanes / 2; ++t) top = std::max(top, static_cast<std::uint16_t>(best[t]));
  return top;
}

}  // namespace

// Built twice where the compiler can: with AVX2 (32 lanes a step) for machines that have it,
// and for the baseline; the loader picks one.
#if defined(__x86_64__) && defined(__ELF__)
#define EEK_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define EEK_TARGET_CLONES
#endif

EEK_TARGET_CLONES
void FindLongestCopies(std::span<const std::uint8_t> data, std::size_t first, std::size_t last,
                       std::span<std::uint8_t> length, std::span<std::uint8_t> distance) {
  const std::size_t size = data.size();
  if (first >= last) return;
  // A run counts at most 131 bytes, so starting 130 positions past `last` (with every run at
  // 0, as past the data's end) gives each position in range its full run.
  const std::size_t top = std::min(size, last + kLongestCopy - 1);
  // Positions from 256 on read their window from the data itself; the first 256 read it from
  // a copy with zero bytes in front, whose lanes before the data are capped to 0.
  std::uint8_t front[2 * kDistances] = {};
  std::memcpy(front + kDistances, data.data(), std::min<std::size_t>(size, kDistances));

  DistanceLanes lanes;
  for (int j = 0; j < kDistances; ++j) {
    const auto d = static_cast<std::size_t>(kDistances - j);
    lanes.cap[j] = d < top ? static_cast<std::uint8_t>(std::min<std::size_t>(d, kLongestCopy)) : 0;
  }
  for (std::size_t k = top; k-- > first;) {
    // Distance k + 1 reaches before the data from here on.
    if (k < static_cast<std::size_t>(kDistances)) lanes.cap[kDistances - 1 - k] = 0;
    const std::uint8_t* window = k >= kDistances ? data.data() + (k - kDistances) : front + k;
    const unsigned best = Step(lanes.run, lanes.cap, window, data[k]);
    if (k >= last) continue;  // only warming the runs up
    const unsigned bestRun = best >> 8;
    const unsigned lane = best & 0xFF;
    // Masks rather than a branch: whether a copy is found varies from byte to byte in text.
    const unsigned found = 0u - static_cast<unsigned>(bestRun >= static_cast<unsigned>(kShortestCopy));
    length[k - first] = static_cast<std::uint8_t>(bestRun & found);
    distance[k - first] = static_cast<std::uint8_t>((kDistances - 1 - lane) & found);
  }
}

void FindLongestCopies(std::span<const std::uint8_t> data, std::span<std::uint8_t> length,
                       std::span<std::uint8_t> distance) {
  FindLongestCopies(data, 0, data.size(), length, distance);
}

}  // namespace archive
