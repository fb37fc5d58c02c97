// The system drive, the base and product folders, and the clean-up of the product folder.
#pragma once

#include <string_view>

#include "win32/fixed_text.h"

namespace launcher {

// The drive of the Windows folder, such as "C:"; "C:" when it cannot be told.
win32::PathText FindSystemDrive();

// Creates `folder` with a protected access list (or accepts it when it is already there) and
// tests that the program can see it. When it cannot, shows "Unable to create ..." and returns
// false once that is dismissed. A folder that was already there and that someone else owns or
// may change is taken over and emptied, all but its real subfolder `keep` (SecureExistingFolder);
// when that is not possible, a message names the folder and the system's reason, and the
// result is false.
bool CreateWorkingFolder(std::string_view folder, std::string_view keep = {});

// Deletes the plain files directly inside the product folder. Subfolders, hidden, system and
// read-only files stay.
void CleanProductFolder(std::string_view productFolder);

}  // namespace launcher
