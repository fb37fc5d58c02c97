// The fixed names of the install folders and of the installer in them.
#pragma once

#include <string_view>

namespace folders {

inline constexpr std::string_view kBaseFolderName = "\\Tarnby Setup";
inline constexpr std::string_view kProductFolderName = "\\Tarnby Setup\\TarLoom64";
inline constexpr std::string_view kProductFolderLeaf = "TarLoom64";
inline constexpr std::string_view kInstallerName = "\\setup.exe";
inline constexpr std::string_view kDefaultDrive = "C:";

}  // namespace folders
