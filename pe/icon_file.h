// An icon file (.ico) read into the images a program's icon resources carry, and the group
// directory (RT_GROUP_ICON) that lists them: what the packer needs to give an installer the
// vendor's icon.
//
// The file: ICONDIR (reserved 0, type 1, image count, 16-bit each), an ICONDIRENTRY of 16
// bytes per image (width, height, colour count, reserved, one byte each; planes and bit count,
// 16-bit; the image's size and file offset, 32-bit), then the images: a DIB without its file
// header, or a PNG. The group resource has the same header and the same fields per image, but
// 14-byte entries that end in the 16-bit id of the RT_ICON resource holding the image.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

constexpr std::uint16_t kResourceTypeIcon = 3;        // RT_ICON: one image
constexpr std::uint16_t kResourceTypeGroupIcon = 14;  // RT_GROUP_ICON: the images of one icon

// One image of an icon, its directory fields as the file stores them (a width or height of 0
// means 256).
struct IconImage {
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::uint8_t colorCount = 0;
  std::uint8_t reserved = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::vector<std::uint8_t> data;  // the image's bytes, exactly as in the file

  friend bool operator==(const IconImage&, const IconImage&) = default;
};

// Reads an icon file into its images, in the file's order. False with a sentence in `error`
// (and `images` unspecified) for anything but a sound icon file: fewer than 6 bytes, a
// reserved field other than 0, a type other than 1 (2 is a cursor), no images, a directory
// cut short, an image of 0 bytes, one that passes the end of the file or starts inside the
// directory, or one that is neither a PNG (its signature, then its IHDR chunk) nor a DIB
// (a BITMAPINFOHEADER, V4 or V5 header that fits the image, one plane, a positive size).
// Never reads outside `bytes`.
bool ReadIconFile(std::span<const std::uint8_t> bytes, std::vector<IconImage>& images, std::string& error);

// The RT_GROUP_ICON bytes listing `images`, the k-th held by the RT_ICON resource `ids[k]`.
// `ids` has one id per image, and there are at most 65535 images.
std::vector<std::uint8_t> WriteIconGroup(const std::vector<IconImage>& images, std::span<const std::uint16_t> ids);

}  // namespace pe
