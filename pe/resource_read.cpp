// Reading the resource tree: every directory and entry checked before it is used, and every
// copy made from the tree charged against the file's size, so that no tree, however it shares
// or loops, costs more than the file it came in.
#include <set>
#include <utility>

#include "pe/image_layout.h"
#include "pe/le_bytes.h"
#include "pe/resource_tree.h"

namespace pe {

namespace {

// The file offset of `length` bytes at `rva`, when they lie in the file bytes of one section.
// A section without file bytes (uninitialised data) holds none, whatever its raw pointer says.
bool RvaToOffset(const std::vector<PeSection>& sections, std::uint32_t rva, std::size_t length,
                 std::size_t& offset) {
  for (const PeSection& section : sections) {
    if (section.rawSize == 0 || rva < section.virtualAddress ||
        !Fits(section.rawSize, rva - section.virtualAddress, length))
      continue;
    offset = section.rawPointer + static_cast<std::size_t>(rva - section.virtualAddress);
    return true;
  }
  return false;
}

// True when `rva` lies in the memory of some section, file bytes or not.
bool IsMapped(const std::vector<PeSection>& sections, std::uint32_t rva) {
  for (const PeSection& section : sections)
    if (rva >= section.virtualAddress && rva <= VirtualEnd(section)) return true;
  return false;
}

struct TreeWalk {
  std::span<const std::uint8_t> file;
  const std::vector<PeSection>& sections;
  std::span<const std::uint8_t> tree;  // from the root directory to the end of its section's bytes
  std::set<std::size_t> visited;       // directories seen: a tree never shares one
  std::uint64_t charged = 0;           // bytes copied out of the tree so far
};

// Counts `bytes` more copied out of the tree. A well-formed tree stores each entry, name and
// data block once for each resource that uses it, so its copies come to less than the file;
// more means the same blocks are used over and over, which could multiply far past memory.
bool Charge(TreeWalk& walk, std::uint64_t bytes, std::string& error) {
  walk.charged += bytes;
  if (walk.charged > walk.file.size())
    return Fail(error, "the resources' entries, names and data add up to more than the file: "
                       "blocks that overlap or are used over and over");
  return true;
}

// Checks that the directory at `offset` and all its entries lie in the tree and that the walk
// has not been there before (a shared or looping directory could multiply the resources far
// past the file's size); gives the offset of its first entry and the number of entries.
bool OpenDirectory(TreeWalk& walk, std::size_t offset, std::size_t& firstEntry, std::size_t& entryCount,
                   std::string& error) {
  if (!Fits(walk.tree.size(), offset, kResDirectorySize))
    return Fail(error, "a resource directory lies outside the resource section");
  if (!walk.visited.insert(offset).second) return Fail(error, "a resource directory is reached twice");
  entryCount = static_cast<std::size_t>(Get16(walk.tree, offset + kResDirNamedCount)) +
               Get16(walk.tree, offset + kResDirIdCount);
  firstEntry = offset + kResDirectorySize;
  if (entryCount > (walk.tree.size() - firstEntry) / kResEntrySize)
    return Fail(error, "a resource directory's entries pass the end of the resource section");
  return true;
}

enum class Level { kType, kName, kLanguage };

const char* LevelName(Level level) {
  return level == Level::kType ? "type" : level == Level::kName ? "name" : "language";
}

// One entry of a directory on `level`: its id and where it leads, which is a directory on the
// first two levels and a data entry on the last.
bool ReadEntry(TreeWalk& walk, std::size_t at, Level level, ResourceId& id, std::size_t& target,
               std::string& error) {
  const std::uint32_t nameField = Get32(walk.tree, at);
  const std::uint32_t targetField = Get32(walk.tree, at + 4);
  const std::string what = std::string("a resource ") + LevelName(level);
  const bool leadsToDirectory = (targetField & kResHighBit) != 0;
  if (leadsToDirectory != (level != Level::kLanguage))
    return Fail(error, what + (leadsToDirectory ? " leads to a directory instead of data"
                                                : " leads to data instead of a directory"));
  target = targetField & ~kResHighBit;

  if ((nameField & kResHighBit) == 0) {
    if (nameField > 0xFFFF) return Fail(error, what + " number is above 65535");
    id = ResourceId::Number(static_cast<std::uint16_t>(nameField));
    return true;
  }
  if (level == Level::kLanguage) return Fail(error, "a resource language is a name, not a number");
  const std::size_t nameAt = nameField & ~kResHighBit;
  if (!Fits(walk.tree.size(), nameAt, 2))
    return Fail(error, what + " name lies outside the resource section");
  const std::size_t length = Get16(walk.tree, nameAt);
  if (!Fits(walk.tree.size(), nameAt + 2, 2 * length))
    return Fail(error, what + " name passes the end of the resource section");
  if (!Charge(walk, 2 * length, error)) return false;
  std::u16string name(length, u'\0');
  for (std::size_t i = 0; i < length; ++i)
    name[i] = static_cast<char16_t>(Get16(walk.tree, nameAt + 2 + 2 * i));
  id = ResourceId::Name(std::move(name));
  return true;
}

// The data entry at `entryAt` and the bytes it points to, into `resource`, whose type and
// name are already copied there.
bool ReadData(TreeWalk& walk, std::size_t entryAt, Resource& resource, std::string& error) {
  if (!Fits(walk.tree.size(), entryAt, kResDataEntrySize))
    return Fail(error, "the data entry of " + Describe(resource) + " lies outside the resource section");
  const std::uint32_t rva = Get32(walk.tree, entryAt);
  const std::uint32_t size = Get32(walk.tree, entryAt + 4);
  resource.codePage = Get32(walk.tree, entryAt + 8);
  // Empty data needs no file bytes, so it may point into a section that has none.
  std::size_t dataAt = 0;
  if (size == 0 ? !IsMapped(walk.sections, rva) : !RvaToOffset(walk.sections, rva, size, dataAt))
    return Fail(error, "the data of " + Describe(resource) + " lies outside the sections" +
                           (size != 0 ? "' bytes" : ""));
  const std::uint64_t copied = kResEntrySize + kResDataEntrySize + std::uint64_t{size} +
                               2 * (resource.type.name.size() + resource.name.name.size());
  if (!Charge(walk, copied, error)) return false;
  if (size == 0) return true;
  const auto data = walk.file.subspan(dataAt, size);
  resource.data.assign(data.begin(), data.end());
  return true;
}

}  // namespace

bool ReadResources(std::span<const std::uint8_t> file, PeImage& image, std::string& error) {
  const DataDirectory directory = image.directories[kResourceDirectory];
  std::size_t rootAt = 0;
  const PeSection* home = nullptr;
  for (const PeSection& section : image.sections) {
    if (directory.rva >= section.virtualAddress && directory.rva - section.virtualAddress < section.rawSize) {
      home = &section;
      rootAt = section.rawPointer + static_cast<std::size_t>(directory.rva - section.virtualAddress);
      break;
    }
  }
  if (home == nullptr) return Fail(error, "the resource directory lies outside the sections' bytes");
  const auto tree = file.subspan(rootAt, home->rawPointer + std::size_t{home->rawSize} - rootAt);
  TreeWalk walk{file, image.sections, tree, {}, 0};

  std::size_t typeEntry = 0, typeCount = 0;
  if (!OpenDirectory(walk, 0, typeEntry, typeCount, error)) return false;
  for (std::size_t t = 0; t < typeCount; ++t, typeEntry += kResEntrySize) {
    ResourceId type;
    std::size_t nameDirectory = 0, nameEntry = 0, nameCount = 0;
    if (!ReadEntry(walk, typeEntry, Level::kType, type, nameDirectory, error) ||
        !OpenDirectory(walk, nameDirectory, nameEntry, nameCount, error))
      return false;
    for (std::size_t n = 0; n < nameCount; ++n, nameEntry += kResEntrySize) {
      ResourceId name;
      std::size_t languageDirectory = 0, languageEntry = 0, languageCount = 0;
      if (!ReadEntry(walk, nameEntry, Level::kName, name, languageDirectory, error) ||
          !OpenDirectory(walk, languageDirectory, languageEntry, languageCount, error))
        return false;
      for (std::size_t l = 0; l < languageCount; ++l, languageEntry += kResEntrySize) {
        ResourceId language;
        std::size_t dataEntry = 0;
        if (!ReadEntry(walk, languageEntry, Level::kLanguage, language, dataEntry, error)) return false;
        Resource resource;
        resource.type = type;
        resource.name = name;
        resource.language = language.number;
        if (!ReadData(walk, dataEntry, resource, error)) return false;
        image.resources.push_back(std::move(resource));
      }
    }
  }
  return true;
}

}  // namespace pe
