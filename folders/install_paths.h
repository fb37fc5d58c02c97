// How the launcher's folders and the installer's path are built from the system drive.
// Portable: plain concatenation on byte strings, tested natively.
#pragma once

#include <string_view>

#include "win32/fixed_text.h"

namespace folders {

using win32::PathText;

// The system drive from the Windows folder's path: everything up to and including the first
// colon, when that colon is not the first character; otherwise "C:". A failed
// GetWindowsDirectoryA is passed as an empty text.
PathText DrivePrefixFromWindowsFolder(std::string_view windowsFolder);

PathText BaseFolder(std::string_view drivePrefix);     // "C:\Tarnby Setup"
PathText ProductFolder(std::string_view drivePrefix);  // "C:\Tarnby Setup\TarLoom64"
PathText InstallerPath(std::string_view productFolder);

// The text of the box shown when a working folder is missing after its creation.
win32::MessageText UnableToCreateMessage(std::string_view folder);

}  // namespace folders
