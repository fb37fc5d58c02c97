// The resource tree inside the image: its layout, and the reading and writing of it that the
// image reader and rewriter call.
//
// Directories of 16 bytes (characteristics, time stamp, version, then the counts of named and
// of numbered entries), each followed by its 8-byte entries (name or id, then target); names
// as a 16-bit length and UTF-16 units; data entries of 16 bytes (RVA, size, code page,
// reserved). Offsets inside the tree count from the root directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pe/pe_image.h"

namespace pe {

constexpr std::size_t kResDirectorySize = 16;
constexpr std::size_t kResDirNamedCount = 12;
constexpr std::size_t kResDirIdCount = 14;
constexpr std::size_t kResEntrySize = 8;
constexpr std::size_t kResDataEntrySize = 16;
constexpr std::uint32_t kResHighBit = 0x80000000;  // in a name: a string; in a target: a directory
constexpr std::size_t kResDataAlignment = 8;
constexpr std::size_t kResMostEntries = 0xFFFF;  // of each kind in one directory: the counts are 16-bit
constexpr std::uint64_t kLargestResourceSection = 0x7FFFFFFF;  // tree offsets have 31 bits

// "resource TYPE/NAME/LANGUAGE", names quoted, for messages.
std::string Describe(const ResourceId& id);
std::string Describe(const Resource& resource);

// Reads the tree the resource directory of `image` (its sections and directories already
// read from `file`) points to into image.resources. See ReadPeImage for what it refuses.
bool ReadResources(std::span<const std::uint8_t> file, PeImage& image, std::string& error);

// The tree as it will be written, with the offset the layout gives each part.
struct LanguageNode {
  const Resource* resource;
  std::size_t dataEntryAt = 0;
  std::size_t dataAt = 0;
};
struct NameNode {
  const ResourceId* name;
  std::vector<LanguageNode> languages;
  std::size_t directoryAt = 0;
  std::size_t nameAt = 0;  // of the name string, for a named entry
};
struct TypeNode {
  const ResourceId* type;
  std::vector<NameNode> names;
  std::size_t directoryAt = 0;
  std::size_t nameAt = 0;
};
struct ResourceLayout {
  std::vector<TypeNode> types;  // pointing into the resources laid out, which must outlive it
  std::size_t size = 0;         // of the whole section's content, below 2 GiB
};

// Sorts `resources` as Windows searches them and lays the section out: every directory
// (root, types, then names), the name strings, the data entries, then the data, each block on
// an 8-byte boundary. Refused: the same type, name and language twice, more entries than a
// directory can count, a name over 65535 units, 2 GiB or more in all.
bool LayOutResources(const std::vector<Resource>& resources, ResourceLayout& layout, std::string& error);

// Writes the laid-out section into `out` (layout.size bytes, zero on entry), with data
// addresses based at `sectionRva` (which LayOutResources' caller checked leaves room).
void WriteResources(const ResourceLayout& layout, std::uint32_t sectionRva, std::span<std::uint8_t> out);

}  // namespace pe
