#include "folders/install_paths.h"

#include "archive/entry_name.h"
#include "folders/folder_names.h"

namespace folders {

// The packer refuses entry names longer than the archive's limit; that limit must be what this
// folder leaves of MAX_PATH (260 with the NUL), or names would be refused or cut wrongly.
static_assert(kDefaultDrive.size() + kProductFolderName.size() + 1 + archive::kLongestInstalledName + 1 == 260);

PathText DrivePrefixFromWindowsFolder(std::string_view windowsFolder) {
  const std::size_t nul = windowsFolder.find('\0');
  if (nul != std::string_view::npos) windowsFolder = windowsFolder.substr(0, nul);
  const std::size_t colon = windowsFolder.find(':');
  if (colon == std::string_view::npos || colon == 0) return PathText(kDefaultDrive);
  return PathText(windowsFolder.substr(0, colon + 1));
}

PathText BaseFolder(std::string_view drivePrefix) {
  return PathText(drivePrefix).Append(kBaseFolderName);
}

PathText ProductFolder(std::string_view drivePrefix) {
  return PathText(drivePrefix).Append(kProductFolderName);
}

PathText InstallerPath(std::string_view productFolder) {
  return PathText(productFolder).Append(kInstallerName);
}

win32::MessageText UnableToCreateMessage(std::string_view folder) {
  return win32::MessageText("Unable to create \"").Append(folder).Append("\" !");
}

}  // namespace folders
