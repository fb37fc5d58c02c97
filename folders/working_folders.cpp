#include "folders/working_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "folders/folder_security_win.h"
#include "folders/install_paths.h"
#include "folders/nt_file_layer_win.h"
#include "folders/run_folder.h"
#include "folders/folder_names.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"

namespace folders {

win32::PathText FindSystemDrive() {
  char windowsFolder[win32::kPathBuffer] = {};
  const UINT length = ::GetWindowsDirectoryA(windowsFolder, win32::kPathBuffer);
  if (length == 0) return DrivePrefixFromWindowsFolder({});
  return DrivePrefixFromWindowsFolder(std::string_view(windowsFolder, sizeof windowsFolder));
}

ProductFolderOutcome InstallFolders::Prepare() {
  LetGo();
  const PathText drive = FindSystemDrive();
  char localData[win32::kPathBuffer] = {};
  const bool perUserKnown = keepers_ == Keepers::kThisUser &&
                            SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE,
                                                         nullptr, SHGFP_TYPE_CURRENT, localData));

  RunFolderChoice choice;
  {
    win32::QuietErrorMode quiet;
    const Node fixedRoot = layer_.OpenRoot(win32::AnsiToWide(PathText(drive.view()).Append('\\').view()).c_str());
    const Node perUserRoot = perUserKnown ? layer_.OpenRoot(win32::AnsiToWide(localData).c_str()) : 0;
    choice = ChooseRunFolder(layer_, fixedRoot, perUserRoot, kBaseFolderEntry, kProductFolderEntry,
                             kInstallerEntryName, keepers_);
    layer_.Close(fixedRoot);
    layer_.Close(perUserRoot);
  }

  const std::string_view place = choice.folder == RunFolder::kFixed ? drive.view() : std::string_view(localData);
  const FolderResult result = choice.prepared.result;
  const PathText folder = result == FolderResult::kBaseMissing ? BaseFolder(place) : ProductFolder(place);
  if (result == FolderResult::kReady) {
    base_ = choice.prepared.base;
    product_ = choice.prepared.product;
    entries_.WriteInto(product_, folder.view());
  }
  return {result, folder, choice.prepared.error};
}

void InstallFolders::LetGo() {
  entries_.LetGo();
  layer_.Close(product_);
  layer_.Close(base_);
  product_ = base_ = 0;
}

}  // namespace folders
