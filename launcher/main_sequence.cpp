#include "launcher/main_sequence.h"

#include <string>

#include "launcher/staging.h"
#include "launcher/texts.h"
#include "launcher/install_paths.h"
#include "launcher/working_folders.h"
#include "win32/module_instance.h"
#include "win32/system_library.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  // The command line and the show state are not read: arguments change nothing.
  const std::string_view stagedArchiveName = launcher::kStagedArchiveName;
  ModuleInstance = hInstance;
  win32::InitCommonControlsFromSystem();

  launcher::DeleteStagedArchive();
  const std::string drivePrefix = launcher::FindSystemDrive();
  if (!launcher::CreateWorkingFolder(launcher::BaseFolder(drivePrefix))) return 1;
  const std::string productFolder = launcher::ProductFolder(drivePrefix);
  if (!launcher::CreateWorkingFolder(productFolder)) return 1;
  launcher::CleanProductFolder(productFolder);

  if (!launcher::StagePayload(ModuleInstance, stagedArchiveName)) return 1;

  // Unpacking into the product folder, under the desktop window, comes here.

  launcher::DeleteStagedArchive();

  // The desktop shortcut, the closing notice and the start of setup.exe come here.
  return 1;
}
