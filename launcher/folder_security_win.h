// The working folders' security on Windows: a protected access list for a folder the launcher
// makes, and for one it finds already there, the trust test (folder_trust.h) and, when the
// folder fails it, taking it over and emptying it.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// SYSTEM, the administrators and the current user full control, users read and execute,
// inherited by everything made inside; nothing inherited from above (a protected list).
class ProtectedFolderSecurity {
 public:
  ProtectedFolderSecurity();
  ~ProtectedFolderSecurity();
  ProtectedFolderSecurity(const ProtectedFolderSecurity&) = delete;
  ProtectedFolderSecurity& operator=(const ProtectedFolderSecurity&) = delete;

  // For CreateDirectoryW; null when the descriptor could not be built (the folder is then made
  // with the default security, and tested like one found already there).
  SECURITY_ATTRIBUTES* attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }
  // The same access list with this user as owner, to take a folder over.
  PSECURITY_DESCRIPTOR takeover() const { return takeover_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PSECURITY_DESCRIPTOR takeover_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// For a folder that was already there: nothing when it passes the trust test. Otherwise it is
// given the protected access list and this user as owner, then emptied of everything in it but
// the subfolder `keep` (a real folder, not a link), which is judged on its own. A junction or
// symbolic link is removed itself, never followed: a planted link must not turn the emptying
// into deleting files elsewhere. A link in the folder's own place is removed and a new folder
// made. Returns 0, or the error that made it impossible (the run then stops). A plain file of
// the folder's name is left to the caller.
DWORD SecureExistingFolder(std::wstring_view folder, ProtectedFolderSecurity& security,
                           std::wstring_view keep);

// Whether the installer in `productFolder` is still open: while a program runs, its file
// cannot be opened for writing, whatever sharing is asked for.
bool EarlierSetupStillOpen(std::wstring_view productFolder);

}  // namespace launcher
