#include "archive/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "archive/format.h"

namespace archive {

namespace {

// Tokens are copied in whole blocks of this size; the bytes past a token's end are scratch
// that the next token overwrites, so the buffers carry room for one block of overrun.
constexpr int32_t kBlock = 32;
constexpr int32_t kBlockRoundedCopy = (kLongestCopy + kBlock - 1) / kBlock * kBlock;

// Undecoded bytes: fewer than a longest token carried over, plus one chunk.
constexpr int32_t kPendingCapacity = (kLongestToken - 1) + kReadChunk;

static_assert(kLongestLiteral % kBlock == 0,
              "a whole literal run's blocks end inside the 129 bytes a fast token may use");

inline void CopyBlock(std::uint8_t* dst, const std::uint8_t* src) {
  // Load, then store: the source may run on into the bytes being written, and only the bytes
  // below the copy's own length, which lie before `dst`, matter.
  std::uint8_t block[kBlock];
  std::memcpy(block, src, kBlock);
  std::memcpy(dst, block, kBlock);
}

inline void CopyBlocks(std::uint8_t* dst, const std::uint8_t* src, int32_t length) {
  int32_t done = 0;
  do {
    CopyBlock(dst + done, src + done);
    done += kBlock;
  } while (done < length);
}

// One entry's output side: the 256-byte history and the output buffer, laid out back to
// back so that a copy reads the history and the buffered output as one run of bytes.
class EntryOutput {
 public:
  explicit EntryOutput(EntrySink* out) : out_(out) {}

  // Tokens while at least a longest token is pending: no token can run past `end`. The state
  // lives in locals here: the byte stores through `op` may alias any member, which would
  // otherwise make the compiler reload them after every token.
  void WholeTokens(const std::uint8_t*& ip, const std::uint8_t* end) {
    const std::uint8_t* in = ip;
    std::uint8_t* op = op_;
    const std::uint8_t* floor = historyFloor_;
    std::uint8_t* const start = bufferStart();
    bool malformed = false;
    do {
      if (op - start > kFlushAbove) {
        op = Flush(op);
        floor = historyFloor_;
      }
      const std::uint32_t x = *in;
      if (x < kCopyFlag) {
        const int32_t n = static_cast<int32_t>(x) + 1;
        CopyBlocks(op, in + 1, n);
        op += n;
        in += 1 + n;
      } else {
        const int32_t n = static_cast<int32_t>(x - kCopyFlag) + kShortestCopy;
        const int32_t available = Available(op, floor, in[1]);
        const int32_t length = std::min(n, available);
        malformed |= length != n;
        CopyBlocks(op, op - available, length);
        op += length;
        in += kCopyTokenSize;
      }
    } while (end - in >= kLongestToken);
    op_ = op;
    ip = in;
    malformed_ |= malformed;
  }

  // One token near the end of the pending bytes, each byte read checked against `end`.
  void LastToken(const std::uint8_t*& ip, const std::uint8_t* end) {
    if (op_ - bufferStart() > kFlushAbove) op_ = Flush(op_);
    const std::uint32_t x = *ip++;
    if (x < kCopyFlag) {
      const int32_t n = static_cast<int32_t>(x) + 1;
      const int32_t length = static_cast<int32_t>(std::min<std::ptrdiff_t>(n, end - ip));
      malformed_ |= length != n;
      std::memcpy(op_, ip, static_cast<std::size_t>(length));
      op_ += length;
      ip += length;
      return;
    }
    if (ip == end) {
      // The position byte is missing: the copy yields nothing.
      malformed_ = true;
      return;
    }
    const int32_t n = static_cast<int32_t>(x - kCopyFlag) + kShortestCopy;
    const int32_t available = Available(op_, historyFloor_, *ip++);
    const int32_t length = std::min(n, available);
    malformed_ |= length != n;
    std::memcpy(op_, op_ - available, static_cast<std::size_t>(length));
    op_ += length;
  }

  void Finish() {
    const std::ptrdiff_t size = op_ - bufferStart();
    if (size > 0 && out_ != nullptr) out_->Write(bufferStart(), static_cast<std::size_t>(size));
    decoded_ += size;
    op_ = bufferStart();
  }

  int64_t decoded() const { return decoded_; }
  bool malformed() const { return malformed_; }

 private:
  std::uint8_t* bufferStart() { return window_ + kHistorySize; }

  // The number of history bytes from position p to the history's end: what a copy from p can
  // yield. Position 0 and positions past the end yield nothing; this is the format's rule,
  // not an error path. The history is the last up-to-256 bytes before `op`, not below `floor`.
  static int32_t Available(const std::uint8_t* op, const std::uint8_t* floor, std::uint32_t p) {
    const int32_t held = static_cast<int32_t>(std::min<std::ptrdiff_t>(op - floor, kHistorySize));
    const int32_t available = held - static_cast<int32_t>(p) + 1;
    return (p == 0 || available < 0) ? 0 : available;
  }

  // Writes the buffer out (it holds more than a chunk) and keeps its last 256 bytes in front
  // of the emptied buffer as the history.
  std::uint8_t* Flush(std::uint8_t* op) {
    const std::ptrdiff_t size = op - bufferStart();
    if (out_ != nullptr) out_->Write(bufferStart(), static_cast<std::size_t>(size));
    decoded_ += size;
    std::memcpy(window_, op - kHistorySize, kHistorySize);
    historyFloor_ = window_;
    return bufferStart();
  }

  EntrySink* out_;
  // [0, 256): the history carried over the last write; then the output buffer, which holds at
  // most 2048 bytes when a token starts, plus the token, plus one block of overrun.
  alignas(64) std::uint8_t window_[kHistorySize + kFlushAbove + kBlockRoundedCopy + kBlock] = {};
  std::uint8_t* op_ = window_ + kHistorySize;
  // Until the first write the history is only what this entry has output so far.
  const std::uint8_t* historyFloor_ = window_ + kHistorySize;
  int64_t decoded_ = 0;
  bool malformed_ = false;
};

}  // namespace

EntryOutcome ExtractEntry(ArchiveReader& archive, int64_t dataStart, int64_t dataEnd,
                          EntrySink* out, WalkProgress& progress) {
  EntryOutcome outcome;
  EntryOutput output(out);
  alignas(64) std::uint8_t pending[kPendingCapacity + kBlock] = {};
  int32_t pendingSize = 0;
  int64_t readPos = dataStart;

  for (;;) {
    if (dataEnd > readPos) {
      const auto n = static_cast<int32_t>(std::min<int64_t>(dataEnd - readPos, kReadChunk));
      pendingSize += archive.Read(pending + pendingSize, n);
      outcome.shortRead |= archive.LastReadShort();
      // A short read still moves readPos and the count on by the size asked for.
      readPos += n;
      progress.Count(n);
      progress.Update();
    }
    if (pendingSize == 0) break;

    // Decode step: the first token whatever is pending, then on while a whole longest token
    // is, so that no token is decoded before all of it has been read.
    const std::uint8_t* ip = pending;
    const std::uint8_t* const end = pending + pendingSize;
    if (end - ip < kLongestToken) {
      output.LastToken(ip, end);
    } else {
      output.WholeTokens(ip, end);
    }
    pendingSize = static_cast<int32_t>(end - ip);
    std::memmove(pending, ip, static_cast<std::size_t>(pendingSize));
  }

  output.Finish();
  outcome.decodedBytes = output.decoded();
  outcome.malformed = output.malformed();
  return outcome;
}

}  // namespace archive
