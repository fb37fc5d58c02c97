#include "tests/oracle/pe_checksum.h"

namespace oracle {

std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::size_t field) {
  const std::size_t length = file.size();
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < length; i += 4) {
    std::uint32_t word = 0;
    // A last word cut short is taken as padded with zeros.
    for (std::size_t k = 0; k < 4 && i + k < length; ++k) {
      const bool inField = i + k >= field && i + k < field + 4;
      word |= static_cast<std::uint32_t>(inField ? 0 : file[i + k]) << (8 * k);
    }
    sum += word;
    sum = (sum & 0xFFFFFFFF) + (sum >> 32);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum + (sum >> 16)) & 0xFFFF;
  return static_cast<std::uint32_t>(sum + length);
}

}  // namespace oracle
