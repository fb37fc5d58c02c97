// The system drive, the base and product folders, and the clean-up of the product folder.
#pragma once

#include <string_view>

#include "win32/fixed_text.h"

namespace launcher {

// The drive of the Windows folder, such as "C:"; "C:" when it cannot be told.
win32::PathText FindSystemDrive();

// Creates `folder` (or accepts it when it is already there) and tests that the program can see
// it. When it cannot, shows "Unable to create ..." and returns false once that is dismissed.
bool CreateWorkingFolder(std::string_view folder);

// Deletes the plain files directly inside the product folder. Subfolders, hidden, system and
// read-only files stay.
void CleanProductFolder(std::string_view productFolder);

}  // namespace launcher
