#include "archive/encoder.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "archive/format.h"
#include "archive/match_finder.h"

namespace eek {

namespace {

constexpr std::uint32_t kCostMask = 255;
// Longest copies shorter than kShortestCopy + this are searched by a plain scan.
constexpr std::size_t kShortCopyScan = 12;  // ring of the costs ahead of the position
static_assert(kCostMask + 1 > kLongestCopy && kCostMask + 1 > kLongestLiteral);

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

// Positions held by the literal window and the copy stack: both only ever hold positions
// within 131 of the current one, so a ring of 256 is enough.
class PositionRing {
 public:
  std::size_t& operator[](std::size_t index) { return slots_[index & kCostMask]; }

 private:
  std::size_t slots_[kCostMask + 1] = {};
};

}  // namespace

std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> data) {
  const std::size_t size = data.size();
  std::vector<std::uint8_t> out;
  if (size == 0) return out;
  std::vector<std::uint8_t> step(size);
  std::vector<std::uint8_t> distance(size);
  FindLongestCopies(data, step, distance);
  // The chosen step at each position: step[i] bytes, as a copy from distance[i] + 1 back or
  // as a literal run.
  std::vector<bool> literal(size);

  // Shortest path from each position to the end, computed backwards. cost(i) is the fewest
  // stream bytes that encode data[i...]. Its two kinds of step:
  //   literal run of n: 1 + n + cost(i + n), n = 1..128, so the best is
  //       1 - i + min over k in (i, i + 128] of (k + cost(k)): a sliding-window minimum;
  //   copy of n: 2 + cost(i + n), n = 4..step[i] (every length up to the longest is there),
  //       a range minimum over [i + 4, i + step[i]] found on a monotonic stack.
  std::uint32_t cost[kCostMask + 1] = {};
  auto costAt = [&](std::size_t k) -> std::uint32_t& { return cost[k & kCostMask]; };

  // Literal window: positions k, oldest (largest) first, with k + cost(k) non-decreasing.
  PositionRing litQueue;
  std::size_t litFront = 0, litBack = 0;  // [litFront, litBack), counting up
  // Copy stack: positions pushed as they come into reach (k = i + 4); from the top down the
  // positions grow and the costs do not increase, so the deepest entry within the range holds
  // its minimum (the longest copy among equal costs).
  PositionRing copyStack;
  std::size_t stackBottom = 0, stackTop = 0;  // [stackBottom, stackTop), top is the newest

  costAt(size) = 0;
  for (std::size_t i = size; i-- > 0;) {
    // Literal window gains k = i + 1 and loses k > i + 128.
    {
      const std::size_t k = i + 1;
      const std::uint64_t value = k + costAt(k);
      while (litBack > litFront && litQueue[litBack - 1] + costAt(litQueue[litBack - 1]) > value)
        --litBack;
      litQueue[litBack++] = k;
      while (litQueue[litFront] > i + kLongestLiteral) ++litFront;
    }
    const std::size_t litK = litQueue[litFront];
    const std::uint64_t litCost = 1 + (litK - i) + costAt(litK);

    // Copy stack gains k = i + 4 (when inside the data) and loses what no copy reaches.
    if (i + kShortestCopy <= size) {
      const std::size_t k = i + kShortestCopy;
      while (stackTop > stackBottom && costAt(copyStack[stackTop - 1]) > costAt(k)) --stackTop;
      copyStack[stackTop++] = k;
      while (copyStack[stackBottom] > i + kLongestCopy) ++stackBottom;
    }
    std::uint64_t bestCost = litCost;
    std::size_t bestEnd = litK;
    bool bestIsCopy = false;
    if (step[i] >= kShortestCopy && step[i] < kShortestCopy + kShortCopyScan) {
      // A short longest copy: a plain scan over its few end positions is cheapest. Among
      // equal costs the longest copy wins, as on the stack.
      std::size_t k = i + kShortestCopy;
      for (std::size_t end = k + 1; end <= i + step[i]; ++end) {
        if (costAt(end) <= costAt(k)) k = end;
      }
      const std::uint64_t copyCost = kCopyTokenSize + costAt(k);
      if (copyCost <= bestCost) {
        bestCost = copyCost;
        bestEnd = k;
        bestIsCopy = true;
      }
    } else if (step[i] >= kShortestCopy) {
      // Deepest stack entry with position <= i + step[i]: positions fall from bottom to top.
      const std::size_t limit = i + step[i];
      // Branch-free halving: the outcome of each comparison is unpredictable.
      std::size_t base = stackBottom;
      std::size_t span = stackTop - stackBottom;  // copyStack[stackTop - 1] == i + 4 <= limit
      while (span > 1) {
        const std::size_t half = span / 2;
        base = copyStack[base + half - 1] <= limit ? base : base + half;
        span -= half;
      }
      const std::size_t k = copyStack[base];
      const std::uint64_t copyCost = kCopyTokenSize + costAt(k);
      if (copyCost <= bestCost) {
        bestCost = copyCost;
        bestEnd = k;
        bestIsCopy = true;
      }
    }
    costAt(i) = static_cast<std::uint32_t>(bestCost);
    step[i] = static_cast<std::uint8_t>(bestEnd - i);
    literal[i] = !bestIsCopy;
  }

  // Walk the chosen steps forwards. Each literal step is one run of at most 128 bytes; two
  // runs side by side stay apart, as the parse paid for them.
  out.reserve(costAt(0));
  for (std::size_t i = 0; i < size; i += step[i]) {
    if (literal[i]) {
      AppendLiterals(out, data.data() + i, step[i]);
    } else {
      AppendCopy(out, i, step[i], distance[i] + 1);
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

}  // namespace eek
