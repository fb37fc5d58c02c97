// Reading a 32-bit Windows program image (PE32, i386) and writing a copy of it with another set
// of resources, on the build machine: the packer uses it to put the payload and the version
// information into a built launcher without a Windows resource compiler or Windows itself.
//
// The rewriting handles the layout our MinGW link produces and nothing more general: the
// resource section is the last one, or is followed by `.reloc` alone, and nothing comes after
// the last section. Everything else is refused with a sentence in `error`, not guessed at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

// The resource types the packer writes.
constexpr std::uint16_t kResourceTypeRcData = 10;   // RT_RCDATA: the payload archive
constexpr std::uint16_t kResourceTypeVersion = 16;  // RT_VERSION: see version_info.h
constexpr std::uint16_t kSubsystemWindowsGui = 2;

// A resource type or name: a 16-bit number, or a UTF-16 name (stored without a terminator).
// Make one with Number() or Name(); two ids are equal when both kind and value are.
struct ResourceId {
  bool isName = false;
  std::uint16_t number = 0;  // when !isName
  std::u16string name;       // when isName

  static ResourceId Number(std::uint16_t number);
  static ResourceId Name(std::u16string name);
  friend bool operator==(const ResourceId&, const ResourceId&) = default;
};

// One resource, as the directory tree type -> name -> language leads to it.
struct Resource {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;  // a LANGID, such as 1033 for English (United States)
  std::uint32_t codePage = 0;  // as stored; Windows ignores it and our resources keep 0
  std::vector<std::uint8_t> data;

  friend bool operator==(const Resource&, const Resource&) = default;
};

struct PeSection {
  std::string name;  // up to 8 bytes, without the padding zeros
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawPointer = 0;  // file offset of the section's bytes
  std::uint32_t rawSize = 0;     // bytes in the file, a multiple of the file alignment
  std::uint32_t characteristics = 0;
};

struct DataDirectory {
  std::uint32_t rva = 0;  // for the security directory (4) a file offset instead
  std::uint32_t size = 0;
};

// Index of the data directories this code reads or changes.
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;    // an Authenticode signature
constexpr std::size_t kRelocationDirectory = 5;  // base relocations, in `.reloc`

// What ReadPeImage found. `file` keeps every byte read, so that WriteWithResources can copy
// what it does not change; the header fields are as stored, for callers and tests to check.
struct PeImage {
  std::vector<std::uint8_t> file;
  std::uint16_t subsystem = 0;  // kSubsystemWindowsGui for a windowed program
  bool hasSignature = false;    // the security directory is not empty
  std::uint32_t fileAlignment = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfInitializedData = 0;
  std::uint32_t checksum = 0;      // as stored; PeChecksum says what it should be
  std::size_t checksumOffset = 0;  // file offset of the checksum field
  std::size_t optionalHeaderOffset = 0;
  std::size_t sectionTableOffset = 0;
  std::vector<PeSection> sections;         // in table order
  std::vector<DataDirectory> directories;  // as many as the header declares, at most 16
  std::vector<Resource> resources;         // in the order of the directory tree
};

// True when `bytes` start as a Windows program does: "MZ", and "PE\0\0" where e_lfanew points.
// Nothing more is checked: ReadPeImage says what else is wrong.
bool HasPeSignature(std::span<const std::uint8_t> bytes);

// Reads `bytes` as a PE32 image for i386: the "MZ" header, the "PE\0\0" header at e_lfanew,
// machine 0x14C, optional header magic 0x10B, the section table and the resource tree.
// Every offset and size in the file is checked before it is used: a damaged, cut or foreign
// file gives false and a sentence in `error` (never a read outside `bytes`), and `image` is
// then unspecified. Refused as damaged, besides what the layout itself forbids: a section
// whose bytes pass the end of the file; alignments Windows does not load (it wants the section
// alignment a power of two, the file alignment a power of two from 512 to 64 KiB and not above
// the section alignment); a resource directory reached twice, a resource id above 65535, a named language; and
// resources whose entries, names and data copied out come to more than the file (blocks used
// over and over), so that reading costs memory in proportion to the file whatever its tree.
// A section without file bytes (raw size 0) holds no resource data; empty data may point into
// one. Memory: the file, once more in `file`, and the resources.
bool ReadPeImage(std::span<const std::uint8_t> bytes, PeImage& image, std::string& error);

// The same, taking `bytes` over as `file` (when read) rather than copying them.
bool ReadPeImage(std::vector<std::uint8_t>&& bytes, PeImage& image, std::string& error);

// Replaces the resource with the same type, name and language in `resources`, or appends it.
void PutResource(std::vector<Resource>& resources, Resource resource);

// The resource of numbered type, name and language in `resources`, or null.
const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t name,
                             std::uint16_t language);

// Returns a copy of `image` (as ReadPeImage filled it: its fields describe its `file`) whose
// resource section holds `resources` (in any order: they are sorted as Windows expects) and
// nothing else. The new section starts where the old one did, in the file and in memory;
// `.reloc`, if it follows, moves behind it unchanged, and the section table, the resource and
// relocation directories, SizeOfImage, SizeOfInitializedData and the checksum are brought up
// to date. The same input gives the same bytes (no time stamps).
// On refusal it returns an empty vector and says why in `error`: a signed image (the
// signature would no longer match), no resource section, a section other than `.reloc` after
// it, bytes after the last section, another data directory inside the sections that move,
// the same type, name and language given twice, or a result past 4 GiB. The output is made in
// one block of its final size: memory is `image`, `resources` and the output, nothing more.
std::vector<std::uint8_t> WriteWithResources(const PeImage& image, const std::vector<Resource>& resources,
                                             std::string& error);

// The image checksum Windows checks for drivers and some tools show: the file summed as
// little-endian 16-bit words with end-around carry (an odd last byte as a word of its own),
// the four bytes at `checksumOffset` counted as zero, plus the file's length. Bytes of the
// field that lie outside `file` are simply absent; a file of 4 GiB or more wraps the length.
std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::size_t checksumOffset);

}  // namespace pe
