#include "launcher/main_sequence.h"

#include <string>

#include "archive/extract_archive.h"
#include "launcher/closing_notice.h"
#include "launcher/setup_launch.h"
#include "launcher/staging.h"
#include "launcher/texts.h"
#include "launcher/install_paths.h"
#include "launcher/working_folders.h"
#include "shortcut/desktop_shortcut.h"
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

  const launcher::Staging staging = launcher::StagePayload(ModuleInstance, stagedArchiveName);
  if (staging == launcher::Staging::kResourceMissing) return 1;

  // Only our own payload is unpacked. A staged archive that could not be written is whatever
  // was left under that name (a read-only or hidden file, a partly written one): in a downloads
  // folder anyone can leave one, and its setup.exe would be started.
  if (staging == launcher::Staging::kWritten) {
    const HWND desktopWindow = ::GetDesktopWindow();
    ExtractArchive(desktopWindow, stagedArchiveName, productFolder);
  }
  launcher::DeleteStagedArchive();

  shortcut::CreateDesktopShortcut(launcher::InstallerPath(productFolder), productFolder,
                                  launcher::kShortcutName);
  // The installer starts only once the user has dismissed the notice.
  launcher::ShowClosingNotice();
  launcher::LaunchSetup(productFolder);
  return 1;
}
