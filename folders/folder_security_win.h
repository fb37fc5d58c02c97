// The working folders' security on Windows: a protected access list for a folder the launcher
// makes, reading a folder's owner and access list for the trust test (folder_trust.h), and
// taking a folder over.
#pragma once

#include <windows.h>

#include "folders/run_folder.h"

namespace folders {

// SYSTEM, the administrators and (for a run as the user) the current user full control, users
// read and execute, inherited by everything made inside; nothing inherited from above (a
// protected list). For an elevated run the folders are the administrators' own.
class ProtectedFolderSecurity {
 public:
  explicit ProtectedFolderSecurity(Keepers keepers);
  ~ProtectedFolderSecurity();
  ProtectedFolderSecurity(const ProtectedFolderSecurity&) = delete;
  ProtectedFolderSecurity& operator=(const ProtectedFolderSecurity&) = delete;

  // For making a folder; null when the descriptor could not be built (the folder is then made
  // with the default security, and judged like one found already there).
  PSECURITY_DESCRIPTOR descriptor() const { return descriptor_; }
  // The same access list with the keepers as owner (this user, or the administrators), to take
  // a folder over.
  PSECURITY_DESCRIPTOR takeover() const { return takeover_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PSECURITY_DESCRIPTOR takeover_ = nullptr;
};

// The owner and access list of the folder open as `folder`, for the trust rule. Unreadable
// security leaves `readable` false.
void ReadFolderSecurity(HANDLE folder, FolderSecurity& security);

// Gives the folder open as `folder` this user as owner and the protected access list, on that
// folder alone (nothing is passed down into what is in it). Returns 0 or the system's error.
DWORD TakeOverFolder(HANDLE folder, const ProtectedFolderSecurity& security);

}  // namespace folders
