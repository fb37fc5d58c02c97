// Writing the resource tree: sorted as Windows searches it, laid out in one deterministic
// order, written with no time stamps, so that the same resources give the same bytes.
#include <algorithm>

#include "pe/image_layout.h"
#include "pe/le_bytes.h"
#include "pe/resource_tree.h"

namespace pe {

namespace {

// The order of one level as Windows searches it: names first, by UTF-16 units (so case
// matters), then numbers, ascending.
bool IdLess(const ResourceId& a, const ResourceId& b) {
  if (a.isName != b.isName) return a.isName;
  return a.isName ? a.name < b.name : a.number < b.number;
}

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

// Gives every part its offset; returns the section's size.
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

bool TypeIsNamed(const TypeNode& node) { return node.type->isName; }
bool NameIsNamed(const NameNode& node) { return node.name->isName; }

}  // namespace

bool LayOutResources(const std::vector<Resource>& resources, ResourceLayout& layout, std::string& error) {
  std::vector<TypeNode>& types = layout.types;
  types.clear();
  if (!BuildTree(resources, types, error)) return false;
  const auto tooMany = [](std::size_t named, std::size_t all) {
    return named > kResMostEntries || all - named > kResMostEntries;
  };
  if (tooMany(CountNamed(types, TypeIsNamed), types.size()))
    return Fail(error, "more than 65535 resource types of one kind");
  for (const TypeNode& type : types) {
    if (type.type->name.size() > 0xFFFF) return Fail(error, "a resource type name is over 65535 units long");
    if (tooMany(CountNamed(type.names, NameIsNamed), type.names.size()))
      return Fail(error, "more than 65535 resource names of one kind in type " + Describe(*type.type));
    for (const NameNode& name : type.names) {
      if (name.name->name.size() > 0xFFFF) return Fail(error, "a resource name is over 65535 units long");
      if (name.languages.size() > kResMostEntries)
        return Fail(error, "more than 65535 languages of resource " + Describe(*name.name));
    }
  }
  const std::uint64_t size = LayOut(types);
  if (size > kLargestResourceSection) return Fail(error, "the resources come to 2 GiB or more");
  layout.size = static_cast<std::size_t>(size);
  return true;
}

void WriteResources(const ResourceLayout& layout, std::uint32_t sectionRva, std::span<std::uint8_t> out) {
  const std::vector<TypeNode>& types = layout.types;
  const std::size_t namedTypes = CountNamed(types, TypeIsNamed);
  PutDirectory(out, 0, namedTypes, types.size() - namedTypes);
  std::size_t typeEntry = kResDirectorySize;
  for (const TypeNode& type : types) {
    PutIdEntry(out, typeEntry, *type.type, type.nameAt,
               kResHighBit | static_cast<std::uint32_t>(type.directoryAt));
    typeEntry += kResEntrySize;
    const std::size_t named = CountNamed(type.names, NameIsNamed);
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
}

}  // namespace pe
