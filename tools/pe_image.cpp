#include "tools/pe_image.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

namespace tools {

namespace {

// The file layout. Offsets are from the start of the structure named in front.
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

constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSecNameSize = 8;  // the name comes first
constexpr std::size_t kSecVirtualSize = 8;
constexpr std::size_t kSecVirtualAddress = 12;
constexpr std::size_t kSecRawSize = 16;
constexpr std::size_t kSecRawPointer = 20;
constexpr std::size_t kSecCharacteristics = 36;
constexpr std::uint32_t kSecInitializedData = 0x40;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr char kRelocationSectionName[] = ".reloc";

// The resource tree: directories of 16 bytes (characteristics, time stamp, version, then the
// counts of named and of numbered entries), each followed by its 8-byte entries (name or id,
// then target); names as a 16-bit length and UTF-16 units; data entries of 16 bytes (RVA,
// size, code page, reserved). Offsets inside the tree count from the root directory.
constexpr std::size_t kResDirectorySize = 16;
constexpr std::size_t kResDirNamedCount = 12;
constexpr std::size_t kResDirIdCount = 14;
constexpr std::size_t kResEntrySize = 8;
constexpr std::size_t kResDataEntrySize = 16;
constexpr std::uint32_t kResHighBit = 0x80000000;  // in a name: a string; in a target: a directory
constexpr std::size_t kResDataAlignment = 8;
constexpr std::size_t kResMostEntries = 0xFFFF;  // of each kind in one directory: the counts are 16-bit
constexpr std::uint64_t kLargestResourceSection = 0x7FFFFFFF;  // tree offsets have 31 bits

bool Fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

// True when `length` bytes from `offset` lie within `size`. Subtraction form: nothing wraps.
bool Fits(std::size_t size, std::size_t offset, std::size_t length) {
  return offset <= size && length <= size - offset;
}

std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Get16(bytes, at)) | static_cast<std::uint32_t>(Get16(bytes, at + 2))
                                                            << 16;
}

void Put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value);
  Put16(bytes, at + 2, value >> 16);
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// What the loader maps of a section: its virtual size, or its file bytes when that is 0.
std::uint64_t VirtualEnd(const PeSection& section) {
  return static_cast<std::uint64_t>(section.virtualAddress) +
         (section.virtualSize != 0 ? section.virtualSize : section.rawSize);
}

std::string Hex(std::uint32_t value) {
  const char* digits = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string Describe(const ResourceId& id) {
  if (!id.isName) return std::to_string(id.number);
  std::string text = "\"";
  for (char16_t unit : id.name) text += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
  return text + "\"";
}

std::string Describe(const Resource& resource) {
  return "resource " + Describe(resource.type) + "/" + Describe(resource.name) + "/" +
         std::to_string(resource.language);
}

// The file offset of `length` bytes at `rva`, when they lie in the file bytes of one section.
bool RvaToOffset(const std::vector<PeSection>& sections, std::uint32_t rva, std::size_t length,
                 std::size_t& offset) {
  for (const PeSection& section : sections) {
    if (rva < section.virtualAddress || !Fits(section.rawSize, rva - section.virtualAddress, length))
      continue;
    offset = section.rawPointer + static_cast<std::size_t>(rva - section.virtualAddress);
    return true;
  }
  return false;
}

// ---- Reading the resource tree ----

struct TreeWalk {
  std::span<const std::uint8_t> file;
  const std::vector<PeSection>& sections;
  std::span<const std::uint8_t> tree;  // from the root directory to the end of its section's bytes
  std::set<std::size_t> visited;       // directories seen: a tree never shares one
  std::uint64_t dataTotal = 0;
};

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
bool ReadEntry(const TreeWalk& walk, std::size_t at, Level level, ResourceId& id, std::size_t& target,
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
  std::u16string name(length, u'\0');
  for (std::size_t i = 0; i < length; ++i)
    name[i] = static_cast<char16_t>(Get16(walk.tree, nameAt + 2 + 2 * i));
  id = ResourceId::Name(std::move(name));
  return true;
}

bool ReadData(TreeWalk& walk, std::size_t entryAt, Resource& resource, std::string& error) {
  if (!Fits(walk.tree.size(), entryAt, kResDataEntrySize))
    return Fail(error, "the data entry of " + Describe(resource) + " lies outside the resource section");
  const std::uint32_t rva = Get32(walk.tree, entryAt);
  const std::uint32_t size = Get32(walk.tree, entryAt + 4);
  resource.codePage = Get32(walk.tree, entryAt + 8);
  std::size_t dataAt = 0;
  if (!RvaToOffset(walk.sections, rva, size, dataAt))
    return Fail(error, "the data of " + Describe(resource) + " lies outside the sections' bytes");
  // Well-formed data blocks do not overlap, so together they fit in the file.
  walk.dataTotal += size;
  if (walk.dataTotal > walk.file.size())
    return Fail(error, "the resources' data add up to more than the file: the blocks overlap");
  const auto data = walk.file.subspan(dataAt, size);
  resource.data.assign(data.begin(), data.end());
  return true;
}

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

// ---- Writing the resource tree ----

// The order of one level as Windows searches it: names first, by UTF-16 units (so case
// matters), then numbers, ascending.
bool IdLess(const ResourceId& a, const ResourceId& b) {
  if (a.isName != b.isName) return a.isName;
  return a.isName ? a.name < b.name : a.number < b.number;
}

// The tree with the offsets the layout gives each part, counted from the root directory.
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

bool BuildTree(const std::vector<Resource>& resources, std::vector<TypeNode>& types, std::string& error) {
  std::vector<const Resource*> sorted;
  for (const Resource& resource : resources) sorted.push_back(&resource);
  std::sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
    if (!(a->type == b->type)) return IdLess(a->type, b->type);
    if (!(a->name == b->name)) return IdLess(a->name, b->name);
    return a->language < b->language;
  });
  for (const Resource* resource : sorted) {
    if (types.empty() || !(*types.back().type == resource->type)) types.push_back({&resource->type, {}});
    std::vector<NameNode>& names = types.back().names;
    if (names.empty() || !(*names.back().name == resource->name)) names.push_back({&resource->name, {}});
    std::vector<LanguageNode>& languages = names.back().languages;
    if (!languages.empty() && languages.back().resource->language == resource->language)
      return Fail(error, Describe(*resource) + " is given twice");
    languages.push_back({resource});
  }
  return true;
}

std::size_t DirectorySize(std::size_t entries) { return kResDirectorySize + entries * kResEntrySize; }
std::size_t StringSize(const ResourceId& id) { return id.isName ? 2 + 2 * id.name.size() : 0; }

// Lays the section out: every directory (root, types, then names), the name strings, the
// data entries, then the data, each block on an 8-byte boundary. Returns the section's size.
std::uint64_t LayOut(std::vector<TypeNode>& types) {
  std::uint64_t next = DirectorySize(types.size());
  for (TypeNode& type : types) {
    type.directoryAt = next;
    next += DirectorySize(type.names.size());
  }
  for (TypeNode& type : types) {
    for (NameNode& name : type.names) {
      name.directoryAt = next;
      next += DirectorySize(name.languages.size());
    }
  }
  for (TypeNode& type : types) {
    type.nameAt = next;
    next += StringSize(*type.type);
  }
  for (TypeNode& type : types) {
    for (NameNode& name : type.names) {
      name.nameAt = next;
      next += StringSize(*name.name);
    }
  }
  next = AlignUp(next, 4);
  for (TypeNode& type : types) {
    for (NameNode& name : type.names) {
      for (LanguageNode& language : name.languages) {
        language.dataEntryAt = next;
        next += kResDataEntrySize;
      }
    }
  }
  for (TypeNode& type : types) {
    for (NameNode& name : type.names) {
      for (LanguageNode& language : name.languages) {
        next = AlignUp(next, kResDataAlignment);
        language.dataAt = next;
        next += language.resource->data.size();
      }
    }
  }
  return next;
}

void PutDirectory(std::span<std::uint8_t> out, std::size_t at, std::size_t named, std::size_t numbered) {
  // Characteristics, time stamp and version stay 0: the output depends on the resources alone.
  Put16(out, at + kResDirNamedCount, static_cast<std::uint32_t>(named));
  Put16(out, at + kResDirIdCount, static_cast<std::uint32_t>(numbered));
}

void PutIdEntry(std::span<std::uint8_t> out, std::size_t at, const ResourceId& id, std::size_t nameAt,
                std::uint32_t target) {
  if (id.isName) {
    Put32(out, at, kResHighBit | static_cast<std::uint32_t>(nameAt));
    Put16(out, nameAt, static_cast<std::uint32_t>(id.name.size()));
    for (std::size_t i = 0; i < id.name.size(); ++i) Put16(out, nameAt + 2 + 2 * i, id.name[i]);
  } else {
    Put32(out, at, id.number);
  }
  Put32(out, at + 4, target);
}

template <typename Node, typename IsNamed>
std::size_t CountNamed(const std::vector<Node>& nodes, IsNamed isNamed) {
  return static_cast<std::size_t>(std::count_if(nodes.begin(), nodes.end(), isNamed));
}

// The resource section's bytes, with data addresses based at `sectionRva`.
bool SerializeResources(const std::vector<Resource>& resources, std::uint32_t sectionRva,
                        std::vector<std::uint8_t>& out, std::string& error) {
  std::vector<TypeNode> types;
  if (!BuildTree(resources, types, error)) return false;
  auto typeIsNamed = [](const TypeNode& node) { return node.type->isName; };
  auto nameIsNamed = [](const NameNode& node) { return node.name->isName; };
  const auto tooMany = [](std::size_t named, std::size_t all) {
    return named > kResMostEntries || all - named > kResMostEntries;
  };
  if (tooMany(CountNamed(types, typeIsNamed), types.size()))
    return Fail(error, "more than 65535 resource types of one kind");
  for (const TypeNode& type : types) {
    if (type.type->name.size() > 0xFFFF) return Fail(error, "a resource type name is over 65535 units long");
    if (tooMany(CountNamed(type.names, nameIsNamed), type.names.size()))
      return Fail(error, "more than 65535 resource names of one kind in type " + Describe(*type.type));
    for (const NameNode& name : type.names) {
      if (name.name->name.size() > 0xFFFF) return Fail(error, "a resource name is over 65535 units long");
      if (name.languages.size() > kResMostEntries)
        return Fail(error, "more than 65535 languages of resource " + Describe(*name.name));
    }
  }
  const std::uint64_t size = LayOut(types);
  if (size > kLargestResourceSection || sectionRva > std::numeric_limits<std::uint32_t>::max() - size)
    return Fail(error, "the resources come to 2 GiB or more");

  out.assign(static_cast<std::size_t>(size), 0);
  PutDirectory(out, 0, CountNamed(types, typeIsNamed), types.size() - CountNamed(types, typeIsNamed));
  std::size_t typeEntry = kResDirectorySize;
  for (const TypeNode& type : types) {
    PutIdEntry(out, typeEntry, *type.type, type.nameAt,
               kResHighBit | static_cast<std::uint32_t>(type.directoryAt));
    typeEntry += kResEntrySize;
    const std::size_t named = CountNamed(type.names, nameIsNamed);
    PutDirectory(out, type.directoryAt, named, type.names.size() - named);
    std::size_t nameEntry = type.directoryAt + kResDirectorySize;
    for (const NameNode& name : type.names) {
      PutIdEntry(out, nameEntry, *name.name, name.nameAt,
                 kResHighBit | static_cast<std::uint32_t>(name.directoryAt));
      nameEntry += kResEntrySize;
      PutDirectory(out, name.directoryAt, 0, name.languages.size());
      std::size_t languageEntry = name.directoryAt + kResDirectorySize;
      for (const LanguageNode& language : name.languages) {
        const Resource& resource = *language.resource;
        PutIdEntry(out, languageEntry, ResourceId::Number(resource.language), 0,
                   static_cast<std::uint32_t>(language.dataEntryAt));
        languageEntry += kResEntrySize;
        Put32(out, language.dataEntryAt, sectionRva + static_cast<std::uint32_t>(language.dataAt));
        Put32(out, language.dataEntryAt + 4, static_cast<std::uint32_t>(resource.data.size()));
        Put32(out, language.dataEntryAt + 8, resource.codePage);
        std::copy(resource.data.begin(), resource.data.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(language.dataAt));
      }
    }
  }
  return true;
}

// ---- What moves when the resources change size ----

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

ResourceId ResourceId::Number(std::uint16_t number) {
  ResourceId id;
  id.number = number;
  return id;
}

ResourceId ResourceId::Name(std::u16string name) {
  ResourceId id;
  id.isName = true;
  id.name = std::move(name);
  return id;
}

void PutResource(std::vector<Resource>& resources, Resource resource) {
  for (Resource& existing : resources) {
    if (existing.type == resource.type && existing.name == resource.name &&
        existing.language == resource.language) {
      existing = std::move(resource);
      return;
    }
  }
  resources.push_back(std::move(resource));
}

bool ReadPeImage(std::span<const std::uint8_t> bytes, PeImage& image, std::string& error) {
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
  if (!IsPowerOfTwo(image.sectionAlignment) || !IsPowerOfTwo(image.fileAlignment))
    return Fail(error, "the section or file alignment is not a power of two");

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
  image.file.assign(bytes.begin(), bytes.end());
  return true;
}

std::vector<std::uint8_t> WriteWithResources(const PeImage& image, const std::vector<Resource>& resources,
                                             std::string& error) {
  MovingSections moving;
  std::vector<std::uint8_t> content;
  if (!FindMovingSections(image, moving, error) ||
      !SerializeResources(resources, image.sections[moving.resourceIndex].virtualAddress, content, error))
    return {};
  const PeSection resourceSection = image.sections[moving.resourceIndex];
  const bool hasRelocations = moving.resourceIndex + 1 < image.sections.size();
  const PeSection relocations = hasRelocations ? image.sections.back() : PeSection{};

  const std::uint64_t resourceRawSize = AlignUp(content.size(), image.fileAlignment);
  const std::uint64_t relocationsRva =
      resourceSection.virtualAddress + AlignUp(content.size(), image.sectionAlignment);
  const std::uint64_t relocationsRawPointer = resourceSection.rawPointer + resourceRawSize;
  const std::uint64_t imageEnd = hasRelocations
                                     ? relocationsRva + VirtualEnd(relocations) - relocations.virtualAddress
                                     : resourceSection.virtualAddress + std::uint64_t{content.size()};
  const std::uint64_t sizeOfImage = AlignUp(imageEnd, image.sectionAlignment);
  const std::uint64_t fileSize = relocationsRawPointer + relocations.rawSize;
  if (sizeOfImage > std::numeric_limits<std::uint32_t>::max() ||
      fileSize > std::numeric_limits<std::uint32_t>::max()) {
    error = "the image would pass 4 GiB";
    return {};
  }

  std::vector<std::uint8_t> out(image.file.begin(), image.file.begin() + resourceSection.rawPointer);
  out.insert(out.end(), content.begin(), content.end());
  out.resize(static_cast<std::size_t>(relocationsRawPointer), 0);
  const std::size_t resourceEntry = image.sectionTableOffset + moving.resourceIndex * kSectionHeaderSize;
  Put32(out, resourceEntry + kSecVirtualSize, static_cast<std::uint32_t>(content.size()));
  Put32(out, resourceEntry + kSecRawSize, static_cast<std::uint32_t>(resourceRawSize));
  const std::size_t directories = image.optionalHeaderOffset + kOptDirectories;
  Put32(out, directories + kResourceDirectory * kDirectoryEntrySize + 4,
        static_cast<std::uint32_t>(content.size()));
  if (hasRelocations) {
    const auto from = image.file.begin() + relocations.rawPointer;
    if (relocations.rawSize != 0) out.insert(out.end(), from, from + relocations.rawSize);
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

std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::size_t checksumOffset) {
  const auto byteAt = [&](std::size_t i) -> std::uint32_t {
    const bool inField = i >= checksumOffset && i - checksumOffset < 4;
    return i < file.size() && !inField ? file[i] : 0;
  };
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    sum += byteAt(i) | byteAt(i + 1) << 8;
    sum = (sum & 0xFFFF) + (sum >> 16);  // the carry goes around: the sum stays within 16 bits
  }
  return sum + static_cast<std::uint32_t>(file.size());
}

}  // namespace tools
