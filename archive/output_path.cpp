#include "archive/output_path.h"

namespace eek {

std::string OutputPath(std::string_view destinationFolder, std::string_view name) {
  if (destinationFolder.empty()) return std::string(name);
  while (!destinationFolder.empty() && destinationFolder.back() == '\\')
    destinationFolder.remove_suffix(1);
  std::string path(destinationFolder);
  path += '\\';
  path += name;
  return path;
}

}  // namespace eek
