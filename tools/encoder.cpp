#include "tools/encoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <iterator>
#include <limits>
#include <memory>

#include "archive/format.h"
#include "tools/match_finder.h"

namespace tools {

using namespace archive;

namespace {

void AppendLiterals(std::vector<std::uint8_t>& out, const std::uint8_t* bytes, std::size_t n) {
  while (n > 0) {
    const std::size_t run = std::min<std::size_t>(n, kLongestLiteral);
    out.push_back(static_cast<std::uint8_t>(run - 1));
    out.insert(out.end(), bytes, bytes + run);
    bytes += run;
    n -= run;
  }
}

void AppendCopy(std::vector<std::uint8_t>& out, std::size_t pos, int length, int distance) {
  // Position 1 is the oldest byte of the history, which holds min(256, pos) bytes.
  const auto held = static_cast<int>(std::min<std::size_t>(pos, kHistorySize));
  out.push_back(static_cast<std::uint8_t>(kCopyFlag + (length - kShortestCopy)));
  out.push_back(static_cast<std::uint8_t>(held - distance + 1));
}

// The parse compares ends k of a step from i by a key: a cost in the high bits and, in the
// low 8, k's own low byte inverted, from which k is found again (every end lies within 255
// of i). Among equal costs the low bits pick one end or another; any of them is optimal.
using Key = std::uint64_t;
constexpr Key kNoEnd = std::numeric_limits<Key>::max();  // past the data: never the minimum
constexpr std::size_t kRing = 256;                        // ends ahead of i that stay in reach
constexpr std::size_t kRingMask = kRing - 1;
static_assert(kRing > kLongestCopy && kRing > kLongestLiteral);

Key MakeKey(std::uint64_t cost, std::size_t k) { return cost << 8 | (~k & 0xFF); }
std::uint64_t KeyCost(Key key) { return key >> 8; }
std::size_t KeyStep(Key key, std::size_t i) { return (~key - i) & 0xFF; }

// Literal runs from i end at k in (i, i + 128] and cost 1 + (k - i) + cost(k): the minimum of
// k + cost(k) over a window of 128 that slides down by one a position. The window spans the
// part of one block of 128 from i + 1 to the block's end, a running minimum, and a first part
// of the block after it, whose prefix minima are taken once when that block is complete: a
// fixed amount of work a position, with no branch that depends on the data.
constexpr std::size_t kBlock = kLongestLiteral;
static_assert((kBlock & (kBlock - 1)) == 0 && 2 * kBlock <= kRing);

class LiteralWindow {
 public:
  LiteralWindow() {
    std::fill(std::begin(keys_), std::end(keys_), kNoEnd);
    std::fill(std::begin(prefix_), std::end(prefix_), kNoEnd);
  }

  // Position k's cost is known; the next window starts at k.
  void Add(std::size_t k, std::uint64_t cost) {
    const Key key = MakeKey(k + cost, k);
    keys_[k & kRingMask] = key;
    const std::size_t inBlock = k & (kBlock - 1);
    suffix_ = inBlock == kBlock - 1 ? key : std::min(suffix_, key);
    if (inBlock == 0) {
      // k's block is whole: prefix_[t] is the minimum of its first t keys.
      for (std::size_t t = 0; t < kBlock; ++t)
        prefix_[t + 1] = std::min(prefix_[t], keys_[(k + t) & kRingMask]);
    }
  }

  // The best end for a run from i = k - 1, the last position added being k.
  Key Best(std::size_t i) const { return std::min(suffix_, prefix_[(i + 1) & (kBlock - 1)]); }

 private:
  Key keys_[kRing];
  Key prefix_[kBlock + 1];  // of the block after the one the window starts in; [0] is empty
  Key suffix_ = kNoEnd;
};

// Copies from i end at k in [i + 4, i + longest] and cost 2 + cost(k): a minimum over a range
// whose far end varies with the match found. A sparse table answers it from two overlapping
// ranges of 2^j keys; each position adds its row of 8 as it is reached.
constexpr int kLevels = 8;  // ranges of 1 to 128 keys
static_assert(std::bit_width(static_cast<unsigned>(kLongestCopy - kShortestCopy + 1)) == kLevels);

class CopyRanges {
 public:
  CopyRanges() {
    for (auto& level : levels_) std::fill(std::begin(level), std::end(level), kNoEnd);
  }

  // Position k's cost is known; every position after it was added before.
  void Add(std::size_t k, std::uint64_t cost) {
    levels_[0][k & kRingMask] = MakeKey(cost, k);
    for (int j = 1; j < kLevels; ++j) {
      const std::size_t half = std::size_t{1} << (j - 1);
      levels_[j][k & kRingMask] =
          std::min(levels_[j - 1][k & kRingMask], levels_[j - 1][(k + half) & kRingMask]);
    }
  }

  // The least key over [first, last], last - first below 128.
  Key Best(std::size_t first, std::size_t last) const {
    const auto count = static_cast<unsigned>(last - first + 1);
    const int j = std::bit_width(count) - 1;
    const std::size_t width = std::size_t{1} << j;
    return std::min(levels_[j][first & kRingMask], levels_[j][(last - width + 1) & kRingMask]);
  }

 private:
  Key levels_[kLevels][kRing];
};

}  // namespace

std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> data) {
  const std::size_t size = data.size();
  std::vector<std::uint8_t> out;
  if (size == 0) return out;
  // step[i] is first the longest copy at i, then the token chosen there in the stream's own
  // control byte: x < 0x80 a literal run of x + 1, else a copy of x - 0x80 + 4.
  std::vector<std::uint8_t> step(size);
  std::vector<std::uint8_t> distance(size);
  FindLongestCopies(data, step, distance);

  // Shortest path from each position to the end, computed backwards: cost(i) is the fewest
  // stream bytes that encode data[i...], cost(size) = 0. Every copy length from 4 to the
  // longest is there, as a shorter piece of a match is a match.
  auto literals = std::make_unique<LiteralWindow>();
  auto copies = std::make_unique<CopyRanges>();
  literals->Add(size, 0);
  copies->Add(size, 0);
  std::uint64_t cost = 0;
  for (std::size_t i = size; i-- > 0;) {
    const Key literalEnd = literals->Best(i);
    const std::uint64_t literalCost = 1 + KeyCost(literalEnd) - i;  // 1 + (k - i) + cost(k)
    // Queried whether or not a copy exists, so that no branch hangs on the data.
    const std::size_t longest = step[i];
    const bool canCopy = longest >= kShortestCopy;
    const Key copyEnd = copies->Best(i + kShortestCopy, i + std::max<std::size_t>(longest, kShortestCopy));
    // Without a copy, every bit set: never below a literal run's cost. A mask, not a branch,
    // as whether a copy exists varies from byte to byte in text.
    const std::uint64_t copyCost = (kCopyTokenSize + KeyCost(copyEnd)) | (std::uint64_t{0} - !canCopy);
    // Among equal costs the copy: fewer tokens to decode.
    const bool copy = copyCost <= literalCost;
    cost = copy ? copyCost : literalCost;
    step[i] = static_cast<std::uint8_t>(copy ? kCopyFlag + (KeyStep(copyEnd, i) - kShortestCopy)
                                             : KeyStep(literalEnd, i) - 1);
    literals->Add(i, cost);
    copies->Add(i, cost);
  }

  // Walk the chosen tokens forwards. Two literal runs side by side stay apart, as the parse
  // paid for them.
  out.reserve(cost);
  for (std::size_t i = 0; i < size;) {
    const std::uint8_t x = step[i];
    if (x < kCopyFlag) {
      AppendLiterals(out, data.data() + i, std::size_t{x} + 1);
      i += std::size_t{x} + 1;
    } else {
      const int length = x - kCopyFlag + kShortestCopy;
      AppendCopy(out, i, length, distance[i] + 1);
      i += static_cast<std::size_t>(length);
    }
  }
  return out;
}

std::vector<std::uint8_t> EncodeEntryGreedy(std::span<const std::uint8_t> data) {
  const std::size_t size = data.size();
  std::vector<std::uint8_t> out;
  if (size == 0) return out;
  std::vector<std::uint8_t> length(size);
  std::vector<std::uint8_t> distance(size);
  FindLongestCopies(data, length, distance);
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < size;) {
    if (length[i] >= kShortestCopy) {
      AppendLiterals(out, data.data() + runStart, i - runStart);
      AppendCopy(out, i, length[i], distance[i] + 1);
      i += length[i];
      runStart = i;
    } else {
      ++i;
    }
  }
  AppendLiterals(out, data.data() + runStart, size - runStart);
  return out;
}

}  // namespace tools
