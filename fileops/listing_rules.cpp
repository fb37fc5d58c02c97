#include "fileops/listing_rules.h"

namespace fileops {

bool IsListed(std::uint32_t attributes, std::uint32_t mask, std::u16string_view name) {
  if (name == u"." || name == u"..") return false;
  const std::uint32_t kinds = attributes & (kAttributeHidden | kAttributeSystem | kAttributeDirectory);
  return (kinds & ~mask) == 0;
}

bool IsDeletable(std::uint32_t attributes) {
  return (attributes & (kAttributeHidden | kAttributeSystem | kAttributeVolumeLabel |
                        kAttributeDirectory)) == 0;
}

win32::PathText WithFolderWildcard(std::string_view pattern) {
  win32::PathText result(pattern);
  if (!pattern.empty() && (pattern.back() == ':' || pattern.back() == '\\')) result.Append("*.*");
  return result;
}

std::string_view FolderPart(std::string_view path) {
  const std::size_t last = path.find_last_of(":\\");
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
}

}  // namespace fileops
