// An archive held in memory, for the packer's round trips, the benchmarks, fuzzers and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "archive/byte_io.h"

namespace archive {

// Reads from a byte block that outlives it, as a file of that content reads: a position past
// the end delivers nothing, a negative one is refused.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes);
  int32_t Read(std::uint8_t* dest, int32_t count) override;
  void Seek(int32_t offset) override;
  int32_t Length() override;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

}  // namespace archive
