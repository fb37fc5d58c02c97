// The numbers of a PE32 file's headers and section table, shared by the reader and the
// rewriter. Offsets are from the start of the structure named in front.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pe/pe_image.h"

namespace pe {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kDosPeHeaderOffset = 0x3C;    // e_lfanew
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::size_t kPeSignatureSize = 4;

constexpr std::size_t kFileHeaderSize = 20;  // follows the signature
constexpr std::size_t kFileMachine = 0;
constexpr std::size_t kFileSectionCount = 2;
constexpr std::size_t kFileOptionalHeaderSize = 16;
constexpr std::uint16_t kMachineI386 = 0x14C;

constexpr std::size_t kOptMagic = 0;
constexpr std::size_t kOptSizeOfInitializedData = 8;
constexpr std::size_t kOptSectionAlignment = 32;
constexpr std::size_t kOptFileAlignment = 36;
constexpr std::size_t kOptSizeOfImage = 56;
constexpr std::size_t kOptChecksum = 64;
constexpr std::size_t kOptSubsystem = 68;
constexpr std::size_t kOptDirectoryCount = 92;
constexpr std::size_t kOptDirectories = 96;  // the fixed part ends where the directories start
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kMostDirectories = 16;

// The file alignments Windows' loader takes: a power of two from 512 bytes to 64 KiB.
constexpr std::uint32_t kSmallestFileAlignment = 0x200;
constexpr std::uint32_t kLargestFileAlignment = 0x10000;

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSecNameSize = 8;  // the name comes first
constexpr std::size_t kSecVirtualSize = 8;
constexpr std::size_t kSecVirtualAddress = 12;
constexpr std::size_t kSecRawSize = 16;
constexpr std::size_t kSecRawPointer = 20;
constexpr std::size_t kSecCharacteristics = 36;
constexpr std::uint32_t kSecInitializedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr char kRelocationSectionName[] = ".reloc";

inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

inline bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// What the loader maps of a section: its virtual size, or its file bytes when that is 0.
inline std::uint64_t VirtualEnd(const PeSection& section) {
  return static_cast<std::uint64_t>(section.virtualAddress) +
         (section.virtualSize != 0 ? section.virtualSize : section.rawSize);
}

}  // namespace pe
