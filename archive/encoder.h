// The encoder: an entry's bytes into a compressed stream the decoder turns back into them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace archive {

// The smallest stream under the format's rules: an optimal parse over literal runs of 1 to 128
// bytes (1 + n bytes each) and copies of 4 to 131 bytes from the last 256 output bytes (2 bytes
// each), every copy whole (position 1 or more, never reaching past the history, so never cut
// short). Runs in time proportional to the size whatever the data (the same work at every
// position, whatever its bytes); memory about 2 bytes per input byte, beside the data and the
// stream.
std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> data);

// A greedy parse under the same rules (the longest copy wherever one of 4 bytes exists, else
// literal bytes), for comparison with the optimal one.
std::vector<std::uint8_t> EncodeEntryGreedy(std::span<const std::uint8_t> data);

// EncodeEntry's stream, byte for byte, from pieces of the entry that threads may encode side
// by side. Each piece finds its copies and parses its own bytes as if the entry ended with them;
// then, seam by seam from the entry's end, the positions before a seam are parsed again with
// the true costs past it until their costs differ from the first parse's by one constant
// over the 131 positions a parse step looks at: from there on every choice is the first
// parse's, as a step compares costs ahead with one another only and breaks ties by position.
// Where the parse never forgets the entry's end (incompressible bytes, one long run, a
// period) a seam parses its whole piece again: the copies are found once, on the threads, and
// only the parse waits for the seam after it. Memory about 3 bytes per input byte beside the
// data and the stream.
class SplitEncoder {
 public:
  // Large enough that a seam's extra work is a small share of a piece, small enough that
  // pieces of one entry share out evenly between threads.
  static constexpr std::size_t kPieceSize = std::size_t{1} << 20;
  static constexpr std::size_t kSmallestPiece = 256;

  // Pieces of `pieceSize` bytes (at least kSmallestPiece), the one at the entry's start up to
  // twice that. `data` must outlive the encoder.
  explicit SplitEncoder(std::span<const std::uint8_t> data, std::size_t pieceSize = kPieceSize);
  ~SplitEncoder();
  SplitEncoder(const SplitEncoder&) = delete;
  SplitEncoder& operator=(const SplitEncoder&) = delete;

  // Pieces are numbered from the entry's end: run in that order, each seam is joined, by the
  // thread that ran the later of its two pieces, while the pieces before it are still running.
  std::size_t Pieces() const;
  std::size_t PieceBytes(std::size_t piece) const;
  // Distinct pieces may run at once, on any threads, in any order.
  void RunPiece(std::size_t piece);
  // Once every piece has run: the stream.
  std::vector<std::uint8_t> Finish();
  // Positions parsed a second time, over all seams.
  std::size_t Redone() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace archive
