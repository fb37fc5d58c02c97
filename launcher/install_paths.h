// How the launcher's folders and the installer's path are built from the system drive.
// Portable: plain concatenation on byte strings, tested natively.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

// The system drive from the Windows folder's path: everything up to and including the first
// colon, when that colon is not the first character; otherwise "C:". A failed
// GetWindowsDirectoryA is passed as an empty text.
std::string DrivePrefixFromWindowsFolder(std::string_view windowsFolder);

std::string BaseFolder(std::string_view drivePrefix);     // "C:\Tarnby Setup"
std::string ProductFolder(std::string_view drivePrefix);  // "C:\Tarnby Setup\TarLoom64"
std::string InstallerPath(std::string_view productFolder);

// The text of the box shown when a working folder is missing after its creation.
std::string UnableToCreateMessage(std::string_view folder);

}  // namespace launcher
