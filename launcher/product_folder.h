// The run's product folder, readied by the folders subsystem, with the message that stops the
// run when it cannot be.
#pragma once

#include "folders/working_folders.h"
#include "win32/fixed_text.h"

namespace launcher {

// Readies `folders`; the product folder's path, or an empty text after the message: "Unable to create" for a
// folder that cannot be there, "Unable to secure" with the system's reason when neither place
// can be made this user's, or that setup is already running when the installer of an earlier
// run is still open from the folder.
win32::PathText ReadyProductFolder(folders::InstallFolders& folders);

}  // namespace launcher
