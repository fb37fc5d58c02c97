#include "shortcut/link_path.h"

namespace shortcut {

std::string_view TrimmedFolder(std::string_view folder) {
  while (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return folder;
}

win32::PathText LinkPath(std::string_view desktopFolder, std::string_view shortcutName) {
  win32::PathText path(TrimmedFolder(desktopFolder));
  path.Append('\\').Append(shortcutName).Append(kLinkExtension);
  return path;
}

win32::WideText<win32::kLongPath> IconLocation(std::wstring_view wideTargetPath) {
  win32::WideText<win32::kLongPath> location(wideTargetPath);
  location.Append(kIconSuffix);
  return location;
}

}  // namespace shortcut
