#include "launcher/working_folders.h"

#include <windows.h>

#include "fileops/file_listing.h"
#include "launcher/install_paths.h"
#include "launcher/message_box.h"
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

bool CreateWorkingFolder(std::string_view folder) {
  {
    // Its result is not looked at: an existing folder makes it fail, and only the test below
    // decides.
    win32::QuietErrorMode quiet;
    ::CreateDirectoryW(win32::AnsiToWide(folder).c_str(), nullptr);
  }
  // A hidden or system folder does not pass this test although it exists; a plain file of that
  // name does.
  if (fileops::PathExists(folder, fileops::kFilesAndFolders)) return true;
  ShowMessage(UnableToCreateMessage(folder).view(), kSetupCaption, MB_OK);
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
