// A small PE32 program image made for the tests: headers, .text, a resource section laid out
// depth first as ld lays it out, then .reloc. The layout's numbers are written out here rather
// than shared with the code under test, so that the reader is checked on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pe/icon_file.h"
#include "pe/pe_image.h"

namespace test_image {

using ByteVector = std::vector<std::uint8_t>;
using pe::Resource;
using pe::ResourceId;

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::size_t kPeAt = 0x80;
constexpr std::size_t kOptionalAt = kPeAt + 24;
constexpr std::size_t kOptionalSize = 96 + 16 * 8;
constexpr std::size_t kDirectoriesAt = kOptionalAt + 96;
constexpr std::size_t kSectionTableAt = kOptionalAt + kOptionalSize;
constexpr std::uint32_t kTextRva = 0x1000;
constexpr std::uint32_t kTextSize = 0x600;
constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::uint32_t kResourceRaw = 0x200 + kTextSize;
constexpr std::uint32_t kHighBit = 0x80000000;
// One block of base relocations: page 0x1000, 12 bytes, two 32-bit fix-ups.
extern const ByteVector kRelocations;

void Put16(ByteVector& bytes, std::size_t at, std::uint32_t value);
void Put32(ByteVector& bytes, std::size_t at, std::uint32_t value);
std::uint32_t Get16(const ByteVector& bytes, std::size_t at);
std::uint32_t Get32(const ByteVector& bytes, std::size_t at);
std::uint32_t AlignUp(std::size_t value, std::uint32_t alignment);

Resource Make(ResourceId type, ResourceId name, std::uint16_t language, ByteVector data,
              std::uint32_t codePage = 0);
ByteVector Pattern(std::size_t size, std::uint32_t seed);

// Like the launcher's: a named type, an icon, the payload (RT_RCDATA 10, 1033), a named icon
// group.
extern const std::vector<Resource> kResources;

// A resource tree with one resource per type, each type's directories, name strings, data
// entry and data together, depth first as ld lays it out: not the order the writer uses. Types
// come in the order given.
ByteVector DepthFirstTree(const std::vector<Resource>& resources);

// The checksum as it is usually written down: 32-bit words with carries, folded at the end.

// A GUI program image: .text, the resource section holding `tree` (offsets in it count from
// its start, at kResourceRva), then `lastSection` holding the relocations; checksum correct.
ByteVector BuildImageWithTree(const ByteVector& tree, const char* lastSection = ".reloc");

// The same with DepthFirstTree(resources).
ByteVector BuildImage(const std::vector<Resource>& resources, const char* lastSection = ".reloc");

// Icon images as drawing programs save them: a DIB (a BITMAPINFOHEADER for `width` pixels
// square, the height doubled for the mask, then noise) and a PNG (its signature, an IHDR
// chunk, then noise), each `size` bytes in all.
ByteVector DibImage(std::size_t size, std::uint32_t width, std::uint32_t seed);
ByteVector PngImage(std::size_t size, std::uint32_t seed);

// A 16-pixel DIB, a 32-pixel DIB and a 256-pixel PNG (its directory width and height 0).
std::vector<pe::IconImage> SampleIcons();

// The .ico file of `images`: the header, the directory, then the images in order.
ByteVector IconFile(const std::vector<pe::IconImage>& images);

}  // namespace test_image
