// The system drive, and the folder a run installs into.
#pragma once

#include <cstdint>

#include "folders/run_folder.h"
#include "win32/fixed_text.h"

namespace folders {

// The drive of the Windows folder, such as "C:"; "C:" when it cannot be told.
win32::PathText FindSystemDrive();

// What readying the folders came to. `product` is the product folder's path when kReady; for
// the other results `folder` is the folder to name in the message: the base folder for
// kBaseMissing, the product folder otherwise, and `error` the system's reason for kNotOurs.
struct ProductFolderOutcome {
  FolderResult result = FolderResult::kNotOurs;
  win32::PathText folder;
  std::uint32_t error = 0;
};

// Readies the product folder of this run (run_folder.h): "\Tarnby Setup\TarLoom64" on the system
// drive, or the same folders in this user's local application data folder when the fixed ones
// cannot be made this user's (another account's, or an administrator's this user cannot write).
// When ready, the base and product folders stay open, sharing reading only, until the process
// ends, after setup.exe is started. Shows nothing: the caller says why a run stops.
ProductFolderOutcome PrepareProductFolder();

}  // namespace folders
