#include "archive/encoder.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "archive/format.h"
#include "archive/match_finder.h"

namespace archive {


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

// A step of the backward parse looks at the ends i + 1 to i + 131 and at nothing else.
constexpr std::size_t kReach = kLongestCopy;
static_assert(kLongestLiteral <= kLongestCopy);

// The ends ahead of a backward parse, added from the highest down.
struct Ahead {
  LiteralWindow literals;
  CopyRanges copies;

  void Add(std::size_t k, std::uint64_t cost) {
    literals.Add(k, cost);
    copies.Add(k, cost);
  }

  // cost(i), the longest copy at i being `longest`; the token chosen there into `token`, in the
  // stream's own control byte: x < 0x80 a literal run of x + 1, else a copy of x - 0x80 + 4.
  std::uint64_t Choose(std::size_t i, std::size_t longest, std::uint8_t& token) const {
    const Key literalEnd = literals.Best(i);
    const std::uint64_t literalCost = 1 + KeyCost(literalEnd) - i;  // 1 + (k - i) + cost(k)
    // Queried whether or not a copy exists, so that no branch hangs on the data.
    const bool canCopy = longest >= kShortestCopy;
    const Key copyEnd = copies.Best(i + kShortestCopy, i + std::max<std::size_t>(longest, kShortestCopy));
    // Without a copy, every bit set: never below a literal run's cost. A mask, not a branch,
    // as whether a copy exists varies from byte to byte in text.
    const std::uint64_t copyCost = (kCopyTokenSize + KeyCost(copyEnd)) | (std::uint64_t{0} - !canCopy);
    // Among equal costs the copy: fewer tokens to decode.
    const bool copy = copyCost <= literalCost;
    token = static_cast<std::uint8_t>(copy ? kCopyFlag + (KeyStep(copyEnd, i) - kShortestCopy)
                                           : KeyStep(literalEnd, i) - 1);
    return copy ? copyCost : literalCost;
  }
};

// Parses positions [first, last) backwards: longest[i - first] is the longest copy at i,
// tokens[i - first] gets the token (the same array may be both), costs[i - first] the cost
// when asked for. Returns cost(first).
std::uint64_t ParseBackwards(Ahead& ahead, std::size_t first, std::size_t last, const std::uint8_t* longest,
                             std::uint8_t* tokens, std::uint64_t* costs) {
  std::uint64_t cost = 0;
  for (std::size_t i = last; i-- > first;) {
    cost = ahead.Choose(i, longest[i - first], tokens[i - first]);
    if (costs != nullptr) costs[i - first] = cost;
    ahead.Add(i, cost);
  }
  return cost;
}

// Walks the chosen tokens forwards. Two literal runs side by side stay apart, as the parse
// paid for them.
void WriteTokens(std::span<const std::uint8_t> data, const std::uint8_t* step, const std::uint8_t* distance,
                 std::vector<std::uint8_t>& out) {
  for (std::size_t i = 0; i < data.size();) {
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
}

}  // namespace

std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> data) {
  const std::size_t size = data.size();
  std::vector<std::uint8_t> out;
  if (size == 0) return out;
  // step[i] is first the longest copy at i, then the token chosen there.
  std::vector<std::uint8_t> step(size);
  std::vector<std::uint8_t> distance(size);
  FindLongestCopies(data, step, distance);

  // Shortest path from each position to the end, computed backwards: cost(i) is the fewest
  // stream bytes that encode data[i...], cost(size) = 0. Every copy length from 4 to the
  // longest is there, as a shorter piece of a match is a match.
  auto ahead = std::make_unique<Ahead>();
  ahead->Add(size, 0);
  out.reserve(ParseBackwards(*ahead, 0, size, step.data(), step.data(), nullptr));
  WriteTokens(data, step.data(), distance.data(), out);
  return out;
}

namespace {

// Below a seam the two parses mostly meet within a few hundred positions: the first parse's
// costs are kept for the last kDense positions of a piece. Further down, where they meet only
// after a long run of one byte or a period ends, a window of kReach costs every kSpacing
// positions. A seam parses in chunks, small ones first, and compares at each chunk's end.
constexpr std::size_t kDense = 8192;
constexpr std::size_t kSpacing = 65536;
constexpr std::size_t kFirstChunk = 512;
constexpr std::size_t kChunk = 65536;
constexpr std::size_t kNotKept = std::numeric_limits<std::size_t>::max();
static_assert(kSpacing > kReach && kFirstChunk > kReach && kChunk >= kFirstChunk);

}  // namespace

struct SplitEncoder::State {
  // Positions [first, last) of a piece, whose first parse's costs are kept from `kept` on in
  // Piece::guessed, or not kept.
  struct Stretch {
    std::size_t first, last, kept;
  };
  struct Piece {
    std::size_t first = 0, last = 0;
    std::vector<Stretch> stretches;  // the whole piece, from the top down
    std::vector<std::uint64_t> guessed;
    std::uint64_t head[kReach] = {};  // costs of first... : the first parse's, then the true ones
    bool parsed = false;              // guarded by `lock`
  };

  std::span<const std::uint8_t> data;
  // As in EncodeEntry, but the tokens apart from the longest copies, which a seam parses
  // again. Left uninitialised: the pieces write every byte, on their threads.
  std::unique_ptr<std::uint8_t[]> longest, distance, step;
  std::vector<Piece> pieces;  // in the entry's order
  std::mutex lock;
  std::size_t trueFrom = 0;  // pieces from here on hold the true tokens and heads; guarded
  bool joining = false;      // a thread is joining seams; guarded by `lock`
  std::size_t redone = 0;    // written by the joining thread alone

  void Plan(Piece& piece, bool last);
  void Parse(Piece& piece);
  void JoinSeam(std::size_t j);
};

// The kept stretches: the positions below the seam, the windows further down and the head,
// which the seam before this piece starts from. The last piece's costs are the true ones from
// the start: only its head is kept.
void SplitEncoder::State::Plan(Piece& piece, bool last) {
  const std::size_t size = piece.last - piece.first;
  std::vector<std::pair<std::size_t, std::size_t>> kept;  // from the top down
  if (!last) {
    kept.emplace_back(piece.last - std::min(size, kDense), piece.last);
    for (std::size_t below = kDense + kSpacing; below <= size; below += kSpacing)
      kept.emplace_back(piece.last - below, piece.last - below + kReach);
  }
  kept.emplace_back(piece.first, piece.first + std::min(size, kReach));

  std::size_t top = piece.last;
  for (const auto& [first, last] : kept) {
    if (!piece.stretches.empty() && last >= top) {  // overlaps or touches the one above
      piece.stretches.back().first = std::min(piece.stretches.back().first, first);
    } else {
      if (top > last) piece.stretches.push_back({last, top, kNotKept});
      piece.stretches.push_back({first, last, 0});
    }
    top = piece.stretches.back().first;
  }
  std::size_t offset = 0;
  for (Stretch& stretch : piece.stretches) {
    if (stretch.kept == kNotKept) continue;
    stretch.kept = offset;
    offset += stretch.last - stretch.first;
  }
  piece.guessed.resize(offset);
}

// The first parse, from nothing past the piece: the true end for the last piece, a guess the
// seam puts right for the others.
void SplitEncoder::State::Parse(Piece& piece) {
  const std::size_t size = piece.last - piece.first;
  FindLongestCopies(data, piece.first, piece.last, {longest.get() + piece.first, size},
                    {distance.get() + piece.first, size});
  auto ahead = std::make_unique<Ahead>();
  ahead->Add(piece.last, 0);
  for (const Stretch& stretch : piece.stretches) {
    ParseBackwards(*ahead, stretch.first, stretch.last, longest.get() + stretch.first, step.get() + stretch.first,
                   stretch.kept == kNotKept ? nullptr : piece.guessed.data() + stretch.kept);
  }
  const Stretch& lowest = piece.stretches.back();  // holds the head
  for (std::size_t t = 0; t < kReach && piece.first + t < piece.last; ++t)
    piece.head[t] = piece.guessed[lowest.kept + (piece.first + t - lowest.first)];
}

// Parses piece j again from the true costs past its end (the next piece's head, true by now)
// until its costs run parallel to the first parse's over kReach positions, or to its start.
void SplitEncoder::State::JoinSeam(std::size_t j) {
  Piece& piece = pieces[j];
  const Piece& next = pieces[j + 1];
  auto ahead = std::make_unique<Ahead>();
  for (std::size_t t = kReach; t-- > 0;) ahead->Add(piece.last + t, next.head[t]);

  std::vector<std::uint64_t> costs(std::min(kChunk, piece.last - piece.first));
  std::uint64_t offset = 0;
  std::size_t run = 0;  // positions down to here whose costs differ from the guessed by `offset`
  std::size_t chunk = kFirstChunk;
  for (const Stretch& stretch : piece.stretches) {
    for (std::size_t hi = stretch.last; hi > stretch.first; chunk = std::min(2 * chunk, kChunk)) {
      const std::size_t lo = hi - std::min(hi - stretch.first, chunk);
      ParseBackwards(*ahead, lo, hi, longest.get() + lo, step.get() + lo, costs.data());
      redone += hi - lo;
      for (std::size_t k = lo; k < hi && k < piece.first + kReach; ++k) piece.head[k - piece.first] = costs[k - lo];
      if (stretch.kept == kNotKept) {
        run = 0;
      } else {
        for (std::size_t k = hi; k-- > lo;) {
          const std::uint64_t diff = costs[k - lo] - piece.guessed[stretch.kept + (k - stretch.first)];
          run = run > 0 && diff == offset ? run + 1 : 1;
          offset = diff;
          if (run == kReach) {
            // Costs k to k + 130 are the guessed ones plus `offset`: from k - 1 down every
            // choice is the first parse's, and every cost its cost plus `offset`.
            for (std::size_t t = 0; piece.first + t < lo && t < kReach; ++t) piece.head[t] += offset;
            return;
          }
        }
      }
      hi = lo;
    }
  }
}

SplitEncoder::SplitEncoder(std::span<const std::uint8_t> data, std::size_t pieceSize)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.data = data;
  const std::size_t size = data.size();
  s.longest = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  s.distance = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  s.step = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  pieceSize = std::max(pieceSize, kSmallestPiece);
  const std::size_t count = std::max<std::size_t>(1, size / pieceSize);
  s.pieces.resize(count);
  for (std::size_t j = 0; j < count; ++j) {
    // The remainder goes to the first piece, so that every seam has a whole piece past it.
    State::Piece& piece = s.pieces[j];
    piece.first = j == 0 ? 0 : size - (count - j) * pieceSize;
    piece.last = size - (count - 1 - j) * pieceSize;
    s.Plan(piece, j + 1 == count);
  }
  s.trueFrom = count;
}

SplitEncoder::~SplitEncoder() = default;

std::size_t SplitEncoder::Pieces() const { return state_->pieces.size(); }

std::size_t SplitEncoder::PieceBytes(std::size_t piece) const {
  const State::Piece& p = state_->pieces[state_->pieces.size() - 1 - piece];
  return p.last - p.first;
}

std::size_t SplitEncoder::Redone() const { return state_->redone; }

void SplitEncoder::RunPiece(std::size_t piece) {
  State& s = *state_;
  const std::size_t j = s.pieces.size() - 1 - piece;
  if (s.data.empty()) return;
  s.Parse(s.pieces[j]);

  // The seams whose later piece is true and earlier piece parsed, one thread at a time, from
  // the end. A thread that finds another joining leaves this piece's seam to it: that one
  // looks again, under the lock, before it stops.
  std::unique_lock<std::mutex> hold(s.lock);
  s.pieces[j].parsed = true;
  if (s.joining) return;
  s.joining = true;
  while (s.trueFrom > 0 && s.pieces[s.trueFrom - 1].parsed) {
    const std::size_t seam = s.trueFrom - 1;
    hold.unlock();
    if (seam + 1 < s.pieces.size()) s.JoinSeam(seam);
    hold.lock();
    s.trueFrom = seam;
  }
  s.joining = false;
}

std::vector<std::uint8_t> SplitEncoder::Finish() {
  State& s = *state_;
  std::vector<std::uint8_t> out;
  if (s.data.empty()) return out;
  s.longest.reset();  // every seam is joined: room for the stream
  out.reserve(s.pieces.front().head[0]);
  WriteTokens(s.data, s.step.get(), s.distance.get(), out);
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

}  // namespace archive
