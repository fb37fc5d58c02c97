#include "shortcut/link_path.h"

namespace shortcut {

std::string_view TrimmedFolder(std::string_view folder) {
  while (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return folder;
}

std::string LinkPath(std::string_view desktopFolder, std::string_view shortcutName) {
  std::string path(TrimmedFolder(desktopFolder));
  path += '\\';
  path += shortcutName;
  path += kLinkExtension;
  return path;
}

std::wstring IconLocation(std::wstring_view wideTargetPath) {
  std::wstring location(wideTargetPath);
  location += kIconSuffix;
  return location;
}

}  // namespace shortcut
