#include "archive/memory_io.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace archive {

MemorySource::MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

int32_t MemorySource::Read(std::uint8_t* dest, int32_t count) {
  if (count <= 0 || pos_ >= bytes_.size()) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), bytes_.size() - pos_);
  std::memcpy(dest, bytes_.data() + pos_, n);
  pos_ += n;
  return static_cast<int32_t>(n);
}

void MemorySource::Seek(int32_t offset) {
  if (offset >= 0) pos_ = static_cast<std::size_t>(offset);
}

int32_t MemorySource::Length() {
  constexpr std::size_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::min(bytes_.size(), kMax));
}

}  // namespace archive
