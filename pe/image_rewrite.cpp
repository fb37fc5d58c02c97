// Writing a copy of the image with another resource section: the sections that move when the
// resources change size are found and checked first, then the output is made in one block of
// its final size, the new tree written straight into it.
#include <algorithm>
#include <limits>

#include "pe/image_layout.h"
#include "pe/le_bytes.h"
#include "pe/resource_tree.h"

namespace pe {

namespace {

struct MovingSections {
  std::size_t resourceIndex = 0;          // the section that starts with the resource directory
  bool relocationDirectoryMoves = false;  // it lies in `.reloc`, the last section
};

// Finds the resource section and checks that the image has the layout WriteWithResources can
// change: unsigned, nothing but `.reloc` after the resources (in the table, in memory and in the
// file), nothing after the last section, no other data directory in what moves.
bool FindMovingSections(const PeImage& image, MovingSections& moving, std::string& error) {
  if (image.hasSignature)
    return Fail(error, "the image is signed, and changing it would break the signature");
  if (image.directories.size() <= kRelocationDirectory)
    return Fail(error, "the image has fewer than 6 data directories");
  const std::uint32_t resourceRva = image.directories[kResourceDirectory].rva;
  const auto& sections = image.sections;
  const auto home = std::find_if(sections.begin(), sections.end(), [&](const PeSection& s) {
    return resourceRva != 0 && s.virtualAddress == resourceRva;
  });
  if (home == sections.end()) return Fail(error, "the image has no section that starts with its resources");
  moving.resourceIndex = static_cast<std::size_t>(home - sections.begin());
  const PeSection& resources = *home;

  for (std::size_t i = moving.resourceIndex + 1; i < sections.size(); ++i) {
    if (i > moving.resourceIndex + 1 || sections[i].name != kRelocationSectionName)
      return Fail(error,
                  "section \"" + sections[i].name + "\" follows the resource section, where only .reloc may");
  }
  const bool hasRelocations = moving.resourceIndex + 1 < sections.size();
  for (std::size_t i = 0; i < moving.resourceIndex; ++i) {
    const PeSection& s = sections[i];
    if (VirtualEnd(s) > resources.virtualAddress ||
        (s.rawSize != 0 && s.rawPointer + std::uint64_t{s.rawSize} > resources.rawPointer))
      return Fail(error, "section \"" + s.name + "\" reaches into the resource section or past it");
  }
  if (image.sectionTableOffset + sections.size() * kSectionHeaderSize > resources.rawPointer ||
      resources.rawPointer > image.file.size())
    return Fail(error, "the resource section's bytes start inside the headers or past the end of the file");

  std::uint64_t lastRawEnd = resources.rawPointer + std::uint64_t{resources.rawSize};
  const PeSection* relocations = hasRelocations ? &sections.back() : nullptr;
  if (relocations != nullptr) {
    if (relocations->virtualAddress < VirtualEnd(resources) ||
        (relocations->rawSize != 0 && relocations->rawPointer < lastRawEnd))
      return Fail(error, "the .reloc section does not come after the resource section");
    if (relocations->rawSize != 0) lastRawEnd = relocations->rawPointer + std::uint64_t{relocations->rawSize};
  }
  if (image.file.size() > lastRawEnd)
    return Fail(error, std::to_string(image.file.size() - lastRawEnd) +
                           " bytes follow the last section (debug symbols or other appended data)");

  for (std::size_t i = 0; i < image.directories.size(); ++i) {
    const DataDirectory d = image.directories[i];
    if (i == kResourceDirectory || d.size == 0 || d.rva < resources.virtualAddress) continue;
    const bool inRelocations =
        relocations != nullptr && d.rva >= relocations->virtualAddress && d.rva < VirtualEnd(*relocations);
    if (i != kRelocationDirectory || !inRelocations)
      return Fail(error, "data directory " + std::to_string(i) + " lies in the sections that move");
    moving.relocationDirectoryMoves = true;
  }
  return true;
}


}  // namespace

std::vector<std::uint8_t> WriteWithResources(const PeImage& image, const std::vector<Resource>& resources,
                                             std::string& error) {
  MovingSections moving;
  ResourceLayout layout;
  if (!FindMovingSections(image, moving, error) || !LayOutResources(resources, layout, error)) return {};
  const PeSection resourceSection = image.sections[moving.resourceIndex];
  if (resourceSection.virtualAddress > std::numeric_limits<std::uint32_t>::max() - layout.size) {
    error = "the resources would pass the image's 4 GiB of addresses";
    return {};
  }
  const bool hasRelocations = moving.resourceIndex + 1 < image.sections.size();
  const PeSection relocations = hasRelocations ? image.sections.back() : PeSection{};

  const std::uint64_t resourceRawSize = AlignUp(layout.size, image.fileAlignment);
  const std::uint64_t relocationsRva =
      resourceSection.virtualAddress + AlignUp(layout.size, image.sectionAlignment);
  const std::uint64_t relocationsRawPointer = resourceSection.rawPointer + resourceRawSize;
  const std::uint64_t imageEnd = hasRelocations
                                     ? relocationsRva + VirtualEnd(relocations) - relocations.virtualAddress
                                     : resourceSection.virtualAddress + std::uint64_t{layout.size};
  const std::uint64_t sizeOfImage = AlignUp(imageEnd, image.sectionAlignment);
  const std::uint64_t fileSize = relocationsRawPointer + relocations.rawSize;
  if (sizeOfImage > std::numeric_limits<std::uint32_t>::max() ||
      fileSize > std::numeric_limits<std::uint32_t>::max()) {
    error = "the image would pass 4 GiB";
    return {};
  }

  // One block of the final size: the payload is the bulk of it, and growing a vector around it
  // would hold two or three copies at once.
  std::vector<std::uint8_t> out(static_cast<std::size_t>(fileSize), 0);
  std::copy(image.file.begin(), image.file.begin() + resourceSection.rawPointer, out.begin());
  WriteResources(layout, resourceSection.virtualAddress,
                 std::span(out).subspan(resourceSection.rawPointer, layout.size));
  const std::size_t resourceEntry = image.sectionTableOffset + moving.resourceIndex * kSectionHeaderSize;
  Put32(out, resourceEntry + kSecVirtualSize, static_cast<std::uint32_t>(layout.size));
  Put32(out, resourceEntry + kSecRawSize, static_cast<std::uint32_t>(resourceRawSize));
  const std::size_t directories = image.optionalHeaderOffset + kOptDirectories;
  Put32(out, directories + kResourceDirectory * kDirectoryEntrySize + 4,
        static_cast<std::uint32_t>(layout.size));
  if (hasRelocations) {
    const auto from = image.file.begin() + relocations.rawPointer;
    if (relocations.rawSize != 0)
      std::copy(from, from + relocations.rawSize,
                out.begin() + static_cast<std::ptrdiff_t>(relocationsRawPointer));
    const std::size_t relocationEntry = resourceEntry + kSectionHeaderSize;
    Put32(out, relocationEntry + kSecVirtualAddress, static_cast<std::uint32_t>(relocationsRva));
    if (relocations.rawSize != 0)
      Put32(out, relocationEntry + kSecRawPointer, static_cast<std::uint32_t>(relocationsRawPointer));
    if (moving.relocationDirectoryMoves)
      Put32(out, directories + kRelocationDirectory * kDirectoryEntrySize,
            static_cast<std::uint32_t>(image.directories[kRelocationDirectory].rva -
                                       relocations.virtualAddress + relocationsRva));
  }
  Put32(out, image.optionalHeaderOffset + kOptSizeOfImage, static_cast<std::uint32_t>(sizeOfImage));
  // Linkers count initialised data differently (ld: every such section's file bytes, code
  // included); only the resource section's share changes, so the rest of the count stays as
  // the linker made it. Unsigned arithmetic: the difference may be negative.
  if (resourceSection.characteristics & kSecInitializedData)
    Put32(
        out, image.optionalHeaderOffset + kOptSizeOfInitializedData,
        image.sizeOfInitializedData - resourceSection.rawSize + static_cast<std::uint32_t>(resourceRawSize));
  Put32(out, image.checksumOffset, PeChecksum(out, image.checksumOffset));
  return out;
}

}  // namespace pe
