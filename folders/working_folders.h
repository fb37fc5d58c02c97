// The system drive, and the folders a run installs into, held for the rest of the run.
#pragma once

#include <cstdint>

#include "folders/entry_writer.h"
#include "folders/folder_security_win.h"
#include "folders/nt_file_layer_win.h"
#include "folders/run_folder.h"
#include "win32/ansi.h"
#include "win32/fixed_text.h"

namespace folders {

// The drive of the Windows folder, such as "C:"; "C:" when it cannot be told.
win32::PathText FindSystemDrive();

// What readying the folders came to. `folder` is the product folder's path when kReady; for the
// other results it is the folder to name in the message (the base folder for kBaseMissing, the
// product folder otherwise), and `error` the system's reason for kNotOurs.
struct ProductFolderOutcome {
  FolderResult result = FolderResult::kNotOurs;
  win32::PathText folder;
  std::uint32_t error = 0;
};

// The run's base and product folders, readied and then held through one file layer, sharing
// reading only, until LetGo() or the end of the process (after setup.exe is started).
class InstallFolders {
 public:
  // For a run as the user (kThisUser), or for an elevated one (kAdministrators), whose folders
  // only the administrators and the system may change and which has no folder of its own to
  // fall back on.
  explicit InstallFolders(Keepers keepers) : keepers_(keepers), security_(keepers), layer_(security_) {}
  InstallFolders(const InstallFolders&) = delete;
  InstallFolders& operator=(const InstallFolders&) = delete;

  // Readies "\Tarnby Setup\TarLoom64" on the system drive, or the same folders in this user's
  // local application data folder when the fixed ones cannot be made this user's (another
  // account's, or an administrator's this user cannot write). Shows nothing: the caller says
  // why a run stops.
  ProductFolderOutcome Prepare();

  FileLayer& layer() { return layer_; }
  // The held product folder; 0 before a successful Prepare and after LetGo.
  Node product() const { return product_; }
  // After a successful Prepare, the unpacking's writer into the held product folder.
  EntryWriter& entries() { return entries_; }

  // Closes the held entry files and folders, so that another process may take them over.
  void LetGo();

 private:
  Keepers keepers_;
  ProtectedFolderSecurity security_;
  NtFileLayer layer_;
  Node base_ = 0;
  Node product_ = 0;
  EntryWriter entries_{layer_, win32::ConvertAnsiToWide};
};

}  // namespace folders
