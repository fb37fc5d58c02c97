#include "tests/oracle/reference.h"

#include <algorithm>
#include <deque>
#include <limits>

namespace oracle {

using namespace archive;

namespace {

// The token at 1-based index i of `pending` (L bytes), given the history before it.
// Returns the token's output and moves i past the token.
std::vector<std::uint8_t> Token(const std::vector<std::uint8_t>& pending, std::size_t& i,
                                const std::deque<std::uint8_t>& history) {
  const std::size_t L = pending.size();
  std::vector<std::uint8_t> output;
  const unsigned x = pending[i - 1];
  i += 1;
  if (x >= 0x80) {
    const std::size_t n = (x - 0x80) + 4;
    if (i > L) return output;  // no position byte
    const std::size_t p = pending[i - 1];
    i += 1;
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t position = p + k;  // 1-based in the history
      if (p == 0 || position > history.size()) break;
      output.push_back(history[position - 1]);
    }
  } else {
    const std::size_t n = x + 1;
    for (std::size_t k = 0; k < n && i + k <= L; ++k) output.push_back(pending[i + k - 1]);
    i += n;
  }
  return output;
}

int32_t SaturatingAdd(int32_t a, int32_t b) {
  const int64_t sum = int64_t{a} + b;
  return sum > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                    : static_cast<int32_t>(sum);
}

}  // namespace

DecodeTrace Decode(ByteSource& archive, int64_t dataStart, int64_t dataEnd, int32_t totalBytes,
                   int32_t bytesCounted, int32_t lastPercent, PercentFunction percentOf) {
  DecodeTrace trace;
  trace.bytesCounted = bytesCounted;
  trace.lastPercent = lastPercent;
  int64_t readPos = dataStart;
  std::vector<std::uint8_t> pending;
  std::vector<std::uint8_t> buffer;
  std::deque<std::uint8_t> history;

  for (;;) {
    // 1. Read step.
    if (dataEnd > readPos) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(dataEnd - readPos, 2048));
      std::vector<std::uint8_t> chunk(static_cast<std::size_t>(n));
      int32_t got = archive.Read(chunk.data(), n);
      got = std::clamp(got, 0, n);
      pending.insert(pending.end(), chunk.begin(), chunk.begin() + got);
      readPos += n;
      trace.bytesCounted = SaturatingAdd(trace.bytesCounted, n);
      const int32_t percent = percentOf(trace.bytesCounted, totalBytes);
      if (percent != trace.lastPercent) {
        trace.lastPercent = percent;
        trace.reports.push_back(percent);
      }
    }
    // 2.
    if (pending.empty()) break;
    // 3. Decode step.
    const std::size_t L = pending.size();
    std::size_t i = 1;
    for (;;) {
      const std::vector<std::uint8_t> output = Token(pending, i, history);
      if (buffer.size() > 2048) {
        trace.writes.push_back(buffer);
        buffer = output;
      } else {
        buffer.insert(buffer.end(), output.begin(), output.end());
      }
      history.insert(history.end(), output.begin(), output.end());
      while (history.size() > 256) history.pop_front();
      if (L < 129 + (i - 1)) break;  // L - (i - 1) < 129, i may be past L
    }
    if (i - 1 >= L) {
      pending.clear();
    } else {
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i - 1));
    }
  }
  // 5. Final step.
  if (!buffer.empty()) trace.writes.push_back(buffer);
  return trace;
}

namespace {

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  int32_t Read(std::uint8_t* dest, int32_t count) override {
    int32_t n = 0;
    while (n < count && pos_ < bytes_.size()) dest[n++] = bytes_[pos_++];
    return n;
  }
  void Seek(int32_t offset) override { pos_ = static_cast<std::size_t>(offset); }
  int32_t Length() override { return static_cast<int32_t>(bytes_.size()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

int32_t NoPercent(int32_t, int32_t) { return 0; }

}  // namespace

std::vector<std::uint8_t> DecodeBytes(std::span<const std::uint8_t> stream) {
  SpanSource source(stream);
  const DecodeTrace trace =
      Decode(source, 0, static_cast<int64_t>(stream.size()), 1, 0, 0, NoPercent);
  std::vector<std::uint8_t> bytes;
  for (const auto& piece : trace.writes) bytes.insert(bytes.end(), piece.begin(), piece.end());
  return bytes;
}

bool IsEncoderStream(std::span<const std::uint8_t> stream, std::span<const std::uint8_t> data) {
  std::size_t in = 0;
  std::size_t out = 0;  // bytes of `data` produced so far
  while (in < stream.size()) {
    const unsigned x = stream[in++];
    if (x < 0x80) {
      const std::size_t n = x + 1;
      if (stream.size() - in < n || data.size() - out < n) return false;
      if (!std::equal(stream.begin() + in, stream.begin() + in + n, data.begin() + out)) return false;
      in += n;
      out += n;
    } else {
      const std::size_t n = (x - 0x80) + 4;
      if (in == stream.size()) return false;
      const std::size_t p = stream[in++];
      const std::size_t held = std::min<std::size_t>(out, 256);
      if (p < 1 || p + n - 1 > held || data.size() - out < n) return false;
      const std::size_t from = out - held + (p - 1);
      for (std::size_t k = 0; k < n; ++k) {
        if (data[from + k] != data[out + k]) return false;
      }
      out += n;
    }
  }
  return out == data.size();
}

std::size_t OptimalSize(std::span<const std::uint8_t> data) {
  const std::size_t N = data.size();
  constexpr std::size_t kInfinity = std::numeric_limits<std::size_t>::max() / 2;
  std::vector<std::size_t> best(N + 1, kInfinity);
  best[0] = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (best[i] == kInfinity) continue;
    for (std::size_t n = 1; n <= 128 && i + n <= N; ++n)
      best[i + n] = std::min(best[i + n], best[i] + 1 + n);
    const std::size_t held = std::min<std::size_t>(i, 256);
    for (std::size_t p = 1; p <= 255 && p <= held; ++p) {
      const std::size_t from = i - held + (p - 1);
      // Copies of every length from this position, as long as the bytes agree.
      for (std::size_t n = 1; n <= 131 && p + n - 1 <= held && i + n <= N; ++n) {
        if (data[from + n - 1] != data[i + n - 1]) break;
        if (n >= 4) best[i + n] = std::min(best[i + n], best[i] + 2);
      }
    }
  }
  return best[N];
}

}  // namespace oracle
