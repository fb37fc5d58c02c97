#include "pe/icon_file.h"

#include <algorithm>
#include <array>

#include "pe/le_bytes.h"

namespace pe {

namespace {

constexpr std::size_t kHeaderSize = 6;  // reserved, type, count
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::uint16_t kIconType = 1;

// A PNG starts with its signature and then its IHDR chunk (length, "IHDR", 13 bytes, CRC).
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kPngChunkTypeAt = 12;
constexpr std::size_t kPngSmallest = 8 + 8 + 13 + 4;

// The header sizes of the DIBs Windows draws as icons: BITMAPINFOHEADER, BITMAPV4HEADER and
// BITMAPV5HEADER. Its fields: size, width and height (signed), planes, bit count, ...
constexpr std::array<std::uint32_t, 3> kDibHeaderSizes = {40, 108, 124};

bool IsPng(std::span<const std::uint8_t> image) {
  constexpr std::array<std::uint8_t, 4> kHeaderChunk = {'I', 'H', 'D', 'R'};
  return image.size() >= kPngSmallest && std::equal(kPngSignature.begin(), kPngSignature.end(), image.begin()) &&
         std::equal(kHeaderChunk.begin(), kHeaderChunk.end(), image.begin() + kPngChunkTypeAt);
}

bool IsDib(std::span<const std::uint8_t> image) {
  if (image.size() < kDibHeaderSizes.front()) return false;
  const std::uint32_t headerSize = Get32(image, 0);
  if (std::find(kDibHeaderSizes.begin(), kDibHeaderSizes.end(), headerSize) == kDibHeaderSizes.end() ||
      headerSize > image.size())
    return false;
  const auto width = static_cast<std::int32_t>(Get32(image, 4));
  const auto height = static_cast<std::int32_t>(Get32(image, 8));
  return width > 0 && height > 0 && Get16(image, 12) == 1;
}

}  // namespace

bool ReadIconFile(std::span<const std::uint8_t> bytes, std::vector<IconImage>& images, std::string& error) {
  images.clear();
  if (bytes.size() < kHeaderSize) return Fail(error, "not an icon file: shorter than its header");
  if (Get16(bytes, 0) != 0 || Get16(bytes, 2) != kIconType)
    return Fail(error, "not an icon file: its header is not that of an icon (reserved 0, type 1)");
  const std::size_t count = Get16(bytes, 4);
  if (count == 0) return Fail(error, "the icon file holds no images");
  const std::size_t directoryEnd = kHeaderSize + count * kFileEntrySize;
  if (directoryEnd > bytes.size())
    return Fail(error, "the icon file is cut short: its directory of " + std::to_string(count) +
                           " images passes the end of the file");
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t at = kHeaderSize + k * kFileEntrySize;
    const std::string which = "image " + std::to_string(k + 1) + " of the icon file";
    const std::size_t size = Get32(bytes, at + 8), offset = Get32(bytes, at + 12);
    if (size == 0) return Fail(error, which + " has a size of 0");
    if (offset < directoryEnd) return Fail(error, which + " starts inside the file's directory");
    if (!Fits(bytes.size(), offset, size)) return Fail(error, which + " passes the end of the file");
    const std::span<const std::uint8_t> data = bytes.subspan(offset, size);
    if (!IsPng(data) && !IsDib(data)) return Fail(error, which + " is neither a PNG nor a bitmap (DIB)");
    IconImage image;
    image.width = bytes[at];
    image.height = bytes[at + 1];
    image.colorCount = bytes[at + 2];
    image.reserved = bytes[at + 3];
    image.planes = Get16(bytes, at + 4);
    image.bitCount = Get16(bytes, at + 6);
    image.data.assign(data.begin(), data.end());
    images.push_back(std::move(image));
  }
  return true;
}

std::vector<std::uint8_t> WriteIconGroup(const std::vector<IconImage>& images, std::span<const std::uint16_t> ids) {
  std::vector<std::uint8_t> group(kHeaderSize + images.size() * kGroupEntrySize);
  Put16(group, 2, kIconType);
  Put16(group, 4, static_cast<std::uint32_t>(images.size()));
  for (std::size_t k = 0; k < images.size(); ++k) {
    const std::size_t at = kHeaderSize + k * kGroupEntrySize;
    const IconImage& image = images[k];
    group[at] = image.width;
    group[at + 1] = image.height;
    group[at + 2] = image.colorCount;
    group[at + 3] = image.reserved;
    Put16(group, at + 4, image.planes);
    Put16(group, at + 6, image.bitCount);
    Put32(group, at + 8, static_cast<std::uint32_t>(image.data.size()));
    Put16(group, at + 12, ids[k]);
  }
  return group;
}

}  // namespace pe
