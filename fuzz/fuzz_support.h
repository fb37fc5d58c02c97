// Helpers shared by the fuzz targets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "archive/byte_io.h"

// A failed check is a crash, so that libFuzzer keeps the input and the replay test fails.
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace archive::fuzz {

// A file whose k-th read delivers at most limits[k % size] bytes (none: every read is whole).
class LimitedSource final : public ByteSource {
 public:
  LimitedSource(std::span<const std::uint8_t> bytes, std::vector<int32_t> limits)
      : bytes_(bytes), limits_(std::move(limits)) {}
  int32_t Read(std::uint8_t* dest, int32_t count) override {
    int32_t allowed = count;
    if (!limits_.empty()) allowed = std::min(count, limits_[reads_++ % limits_.size()]);
    int32_t n = 0;
    while (n < allowed && pos_ < bytes_.size()) dest[n++] = bytes_[pos_++];
    return n;
  }
  void Seek(int32_t offset) override {
    if (offset >= 0) pos_ = static_cast<std::size_t>(offset);
  }
  int32_t Length() override { return static_cast<int32_t>(bytes_.size()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::vector<int32_t> limits_;
  std::size_t reads_ = 0;
  std::size_t pos_ = 0;
};

}  // namespace archive::fuzz
