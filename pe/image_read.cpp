// Reading the headers and the section table, every offset checked before it is used; the
// resource tree is read in resource_read.cpp.
#include <algorithm>
#include <utility>

#include "pe/image_layout.h"
#include "pe/le_bytes.h"
#include "pe/resource_tree.h"

namespace pe {

namespace {

std::string Hex(std::uint32_t value) {
  const char* digits = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

// Why Windows would not load an image of these alignments, or nothing.
std::string AlignmentProblem(std::uint32_t fileAlignment, std::uint32_t sectionAlignment) {
  if (!IsPowerOfTwo(sectionAlignment))
    return "the section alignment (" + Hex(sectionAlignment) + ") is not a power of two";
  if (!IsPowerOfTwo(fileAlignment) || fileAlignment < kSmallestFileAlignment ||
      fileAlignment > kLargestFileAlignment || fileAlignment > sectionAlignment)
    return "the file alignment (" + Hex(fileAlignment) + ") is not one Windows loads: a power of two "
           "from 512 to 64 KiB, not above the section alignment (" + Hex(sectionAlignment) + ")";
  return {};
}

}  // namespace

bool HasPeSignature(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  const std::uint32_t peAt = Get32(bytes, kDosPeHeaderOffset);
  return Fits(bytes.size(), peAt, kPeSignatureSize) && Get32(bytes, peAt) == kPeSignature;
}

// Everything but `file`.
bool ReadParts(std::span<const std::uint8_t> bytes, PeImage& image, std::string& error) {
  image = PeImage{};
  const std::size_t size = bytes.size();
  if (size < kDosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z')
    return Fail(error, "not a Windows program: no \"MZ\" header");
  const std::uint32_t peAt = Get32(bytes, kDosPeHeaderOffset);
  if (!Fits(size, peAt, kPeSignatureSize + kFileHeaderSize))
    return Fail(error, "the PE header's offset (e_lfanew) points past the end of the file");
  if (Get32(bytes, peAt) != kPeSignature) return Fail(error, "no \"PE\" signature where e_lfanew points");

  const std::size_t fileHeader = peAt + kPeSignatureSize;
  const std::uint16_t machine = Get16(bytes, fileHeader + kFileMachine);
  if (machine != kMachineI386)
    return Fail(error, "not an i386 program (machine " + Hex(machine) + ", not 0x14C)");
  const std::size_t sectionCount = Get16(bytes, fileHeader + kFileSectionCount);
  const std::size_t optionalSize = Get16(bytes, fileHeader + kFileOptionalHeaderSize);
  const std::size_t optional = fileHeader + kFileHeaderSize;
  if (optionalSize < kOptDirectories || !Fits(size, optional, optionalSize))
    return Fail(error, "the optional header is too short or passes the end of the file");
  if (Get16(bytes, optional + kOptMagic) != kPe32Magic) return Fail(error, "not a 32-bit (PE32) image");

  image.optionalHeaderOffset = optional;
  image.checksumOffset = optional + kOptChecksum;
  image.subsystem = Get16(bytes, optional + kOptSubsystem);
  image.sectionAlignment = Get32(bytes, optional + kOptSectionAlignment);
  image.fileAlignment = Get32(bytes, optional + kOptFileAlignment);
  image.sizeOfImage = Get32(bytes, optional + kOptSizeOfImage);
  image.sizeOfInitializedData = Get32(bytes, optional + kOptSizeOfInitializedData);
  image.checksum = Get32(bytes, image.checksumOffset);
  // An alignment Windows would not load could also make a rewrite's output absurdly large.
  if (std::string problem = AlignmentProblem(image.fileAlignment, image.sectionAlignment); !problem.empty())
    return Fail(error, std::move(problem));

  const std::size_t directoryCount =
      std::min<std::size_t>(Get32(bytes, optional + kOptDirectoryCount), kMostDirectories);
  if (directoryCount * kDirectoryEntrySize > optionalSize - kOptDirectories)
    return Fail(error, "the data directories pass the end of the optional header");
  for (std::size_t i = 0; i < directoryCount; ++i) {
    const std::size_t at = optional + kOptDirectories + i * kDirectoryEntrySize;
    image.directories.push_back({Get32(bytes, at), Get32(bytes, at + 4)});
  }

  image.sectionTableOffset = optional + optionalSize;
  if (!Fits(size, image.sectionTableOffset, sectionCount * kSectionHeaderSize))
    return Fail(error, "the section table passes the end of the file");
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = image.sectionTableOffset + i * kSectionHeaderSize;
    PeSection section;
    for (std::size_t c = 0; c < kSecNameSize && bytes[at + c] != 0; ++c)
      section.name += static_cast<char>(bytes[at + c]);
    section.virtualSize = Get32(bytes, at + kSecVirtualSize);
    section.virtualAddress = Get32(bytes, at + kSecVirtualAddress);
    section.rawSize = Get32(bytes, at + kSecRawSize);
    section.rawPointer = Get32(bytes, at + kSecRawPointer);
    section.characteristics = Get32(bytes, at + kSecCharacteristics);
    if (section.rawSize != 0 && !Fits(size, section.rawPointer, section.rawSize))
      return Fail(error, "the bytes of section \"" + section.name + "\" pass the end of the file");
    image.sections.push_back(section);
  }

  image.hasSignature =
      image.directories.size() > kSecurityDirectory &&
      (image.directories[kSecurityDirectory].rva != 0 || image.directories[kSecurityDirectory].size != 0);
  if (image.directories.size() > kResourceDirectory && image.directories[kResourceDirectory].rva != 0 &&
      !ReadResources(bytes, image, error))
    return false;
  return true;
}

bool ReadPeImage(std::span<const std::uint8_t> bytes, PeImage& image, std::string& error) {
  if (!ReadParts(bytes, image, error)) return false;
  image.file.assign(bytes.begin(), bytes.end());
  return true;
}

bool ReadPeImage(std::vector<std::uint8_t>&& bytes, PeImage& image, std::string& error) {
  if (!ReadParts(bytes, image, error)) return false;
  image.file = std::move(bytes);
  return true;
}

}  // namespace pe
