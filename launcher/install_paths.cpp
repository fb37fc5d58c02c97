#include "launcher/install_paths.h"

#include "launcher/texts.h"

namespace launcher {

std::string DrivePrefixFromWindowsFolder(std::string_view windowsFolder) {
  const std::size_t nul = windowsFolder.find('\0');
  if (nul != std::string_view::npos) windowsFolder = windowsFolder.substr(0, nul);
  const std::size_t colon = windowsFolder.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::string(kDefaultDrive);
  return std::string(windowsFolder.substr(0, colon + 1));
}

std::string BaseFolder(std::string_view drivePrefix) {
  return std::string(drivePrefix) + std::string(kBaseFolderName);
}

std::string ProductFolder(std::string_view drivePrefix) {
  return std::string(drivePrefix) + std::string(kProductFolderName);
}

std::string InstallerPath(std::string_view productFolder) {
  return std::string(productFolder) + std::string(kInstallerName);
}

std::string UnableToCreateMessage(std::string_view folder) {
  return "Unable to create \"" + std::string(folder) + "\" !";
}

}  // namespace launcher
