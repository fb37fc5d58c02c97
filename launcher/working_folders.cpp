#include "launcher/working_folders.h"

#include <windows.h>

#include "fileops/file_listing.h"
#include "launcher/folder_security_win.h"
#include "launcher/install_paths.h"
#include "launcher/message_box.h"
#include "launcher/single_run.h"
#include "launcher/texts.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"

namespace launcher {

win32::PathText FindSystemDrive() {
  char windowsFolder[win32::kPathBuffer] = {};
  const UINT length = ::GetWindowsDirectoryA(windowsFolder, win32::kPathBuffer);
  if (length == 0) return DrivePrefixFromWindowsFolder({});
  return DrivePrefixFromWindowsFolder(std::string_view(windowsFolder, sizeof windowsFolder));
}

bool CreateWorkingFolder(std::string_view folder, std::string_view keep) {
  const win32::WidePath wide = win32::AnsiToWide(folder);
  ProtectedFolderSecurity security;
  BOOL made;
  {
    // An existing folder makes it fail; only the test below decides whether there is one.
    win32::QuietErrorMode quiet;
    made = ::CreateDirectoryW(wide.c_str(), security.attributes());
  }
  // A hidden or system folder does not pass this test although it exists; a plain file of that
  // name does.
  if (!fileops::PathExists(folder, fileops::kFilesAndFolders)) {
    ShowMessage(UnableToCreateMessage(folder).view(), kSetupCaption, MB_OK);
    return false;
  }
  // A folder made just now with the protected list is ours and keeps the clean-up's rules.
  if (made && security.attributes() != nullptr) return true;
  if (keep.empty() && EarlierSetupStillOpen(wide.view())) {
    SayAlreadyRunning();
    return false;
  }
  const DWORD error = SecureExistingFolder(wide.view(), security, win32::AnsiToWide(keep).view());
  if (error == 0) return true;
  ShowFailure("secure", folder, error);
  return false;
}

void CleanProductFolder(std::string_view productFolder) {
  const win32::PathText pattern = win32::PathText(productFolder).Append("\\*.*");
  // Deleting a file does not disturb the listing in progress.
  for (fileops::ListedName name = fileops::ListFirst(pattern.view(), fileops::kPlainFiles);
       !name.empty(); name = fileops::ListNext()) {
    fileops::DeleteMatchingFiles(win32::PathText(productFolder).Append('\\').Append(name.view()).view());
  }
}

}  // namespace launcher
