#include "pe/pe_image.h"

namespace pe {

std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::size_t checksumOffset) {
  const auto byteAt = [&](std::size_t i) -> std::uint32_t {
    const bool inField = i >= checksumOffset && i - checksumOffset < 4;
    return i < file.size() && !inField ? file[i] : 0;
  };
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    sum += byteAt(i) | byteAt(i + 1) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);  // the carry goes around: the sum stays within 16 bits
  }
  return sum + static_cast<std::uint32_t>(file.size());
}

}  // namespace pe
