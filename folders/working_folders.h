// The system drive, and the folder a run installs into.
#pragma once

#include "win32/fixed_text.h"

namespace launcher {

// The drive of the Windows folder, such as "C:"; "C:" when it cannot be told.
win32::PathText FindSystemDrive();

// Readies the product folder of this run (run_folder.h): "\Tarnby Setup\TarLoom64" on the system
// drive, or the same folders in this user's local application data folder when the fixed ones
// cannot be made this user's (another account's, or an administrator's this user cannot write).
// The base and product folders stay open, sharing reading only, until the process ends, after
// setup.exe is started. Returns the product folder's path; an empty text when the run stops,
// after its message: "Unable to create" for a folder that cannot be there, "Unable to secure"
// with the system's reason when neither place can be made this user's, or that setup is already
// running when the installer of an earlier run is still open from the folder.
win32::PathText PrepareProductFolder();

}  // namespace launcher
