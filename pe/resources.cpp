#include <utility>

#include "pe/pe_image.h"
#include "pe/resource_tree.h"

namespace pe {

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

const Resource* FindResource(const std::vector<Resource>& resources, std::uint16_t type, std::uint16_t name,
                             std::uint16_t language) {
  for (const Resource& resource : resources) {
    if (resource.type == ResourceId::Number(type) && resource.name == ResourceId::Number(name) &&
        resource.language == language)
      return &resource;
  }
  return nullptr;
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

}  // namespace pe
