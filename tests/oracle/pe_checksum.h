// The program image checksum, written from its description (the 32-bit words of the file, the
// checksum field taken as zero, summed with end-around carry into 16 bits, plus the file's
// length), sharing no code with the packer's: the reference its tests and fuzzer hold it to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace oracle {

// The checksum of `file` whose checksum field is the 4 bytes at `field`.
std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::size_t field);

}  // namespace oracle
