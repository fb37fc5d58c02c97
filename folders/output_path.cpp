#include "folders/output_path.h"

namespace folders {

win32::PathText OutputPath(std::string_view destinationFolder, std::string_view name) {
  if (destinationFolder.empty()) return win32::PathText(name);
  while (!destinationFolder.empty() && destinationFolder.back() == '\\')
    destinationFolder.remove_suffix(1);
  return win32::PathText(destinationFolder).Append('\\').Append(name);
}

}  // namespace folders
