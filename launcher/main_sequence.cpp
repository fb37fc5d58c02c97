#include "launcher/main_sequence.h"

#include "launcher/closing_notice.h"
#include "launcher/extract_archive.h"
#include "launcher/install_paths.h"
#include "launcher/setup_launch.h"
#include "launcher/staging.h"
#include "launcher/texts.h"
#include "launcher/working_folders.h"
#include "shortcut/desktop_shortcut.h"
#include "win32/module_instance.h"
#include "win32/system_library.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  using namespace launcher;
  // The command line and the show state are not read: arguments change nothing.
  const std::string_view stagedArchiveName = kStagedArchiveName;
  win32::ModuleInstance = hInstance;
  win32::InitCommonControlsFromSystem();

  DeleteStagedArchive();
  const PathText drivePrefix = FindSystemDrive();
  if (!CreateWorkingFolder(BaseFolder(drivePrefix.view()).view())) return 1;
  const PathText productFolder = ProductFolder(drivePrefix.view());
  if (!CreateWorkingFolder(productFolder.view())) return 1;
  CleanProductFolder(productFolder.view());

  const Staging staging = StagePayload(win32::ModuleInstance, stagedArchiveName);
  if (staging == Staging::kResourceMissing) return 1;

  // Only our own payload is unpacked. A staged archive that could not be written is whatever
  // was left under that name (a read-only or hidden file, a partly written one): in a downloads
  // folder anyone can leave one, and its setup.exe would be started.
  if (staging == Staging::kWritten) {
    const HWND desktopWindow = ::GetDesktopWindow();
    ExtractArchive(desktopWindow, stagedArchiveName, productFolder.view());
  }
  DeleteStagedArchive();

  shortcut::CreateDesktopShortcut(InstallerPath(productFolder.view()).view(), productFolder.view(),
                                  kShortcutName);
  // The installer starts only once the user has dismissed the notice.
  ShowClosingNotice();
  LaunchSetup(productFolder.view());
  return 1;
}
