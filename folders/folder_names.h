// The fixed names of the install folders and of the installer in them.
#pragma once

#include <string_view>

namespace folders {

inline constexpr std::string_view kBaseFolderName = "\\Tarnby Setup";
inline constexpr std::string_view kProductFolderName = "\\Tarnby Setup\\TarLoom64";
inline constexpr std::string_view kInstallerName = "\\setup.exe";
inline constexpr std::string_view kDefaultDrive = "C:";

// The same names as the file layer opens them inside their folders: plain ASCII, which every
// ANSI code page converts to these very characters.
inline constexpr std::wstring_view kBaseFolderEntry = L"Tarnby Setup";
inline constexpr std::wstring_view kProductFolderEntry = L"TarLoom64";
inline constexpr std::wstring_view kInstallerEntryName = L"setup.exe";

}  // namespace folders
