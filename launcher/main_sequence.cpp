#include "launcher/main_sequence.h"

#include "launcher/closing_notice.h"
#include "launcher/extract_archive.h"
#include "folders/install_paths.h"
#include "launcher/product_folder.h"
#include "launcher/message_box.h"
#include "launcher/payload_check.h"
#include "launcher/setup_launch.h"
#include "launcher/single_run.h"
#include "launcher/staging.h"
#include "launcher/texts.h"
#include "shortcut/desktop_shortcut.h"
#include "win32/module_instance.h"
#include "win32/system_library.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  using namespace launcher;
  // The command line and the show state are not read: arguments change nothing.
  const std::string_view stagedArchiveName = kStagedArchiveName;
  win32::ModuleInstance = hInstance;
  win32::InitCommonControlsFromSystem();
  // A second start while a run is under way (an impatient double-click) touches nothing.
  if (!TakeTheRun()) return 1;
  // A cut or changed download installs nothing: checked before anything is made or removed.
  if (!PayloadMatchesItsDigest(win32::ModuleInstance)) {
    ShowMessage(kInstallerDamaged, kSetupCaption, MB_OK);
    return 1;
  }

  DeleteStagedArchive();
  // The fixed folder, or this user's own when the fixed one cannot be made this user's; held
  // open until the process ends.
  folders::InstallFolders installFolders(folders::Keepers::kThisUser);
  const win32::PathText productFolder = ReadyProductFolder(installFolders);
  if (productFolder.empty()) return 1;

  const Payload payload = LoadPayload(win32::ModuleInstance);
  if (!payload.found) return 1;
  // Staged as before, but the unpacking reads the resource itself: a staged file can be
  // swapped or held open by another program between its writing and its reading, and a
  // leftover of that name (read-only, hidden, planted) is not ours.
  StagePayload(payload, stagedArchiveName);

  const HWND desktopWindow = ::GetDesktopWindow();
  const UnpackOutcome unpacked = ExtractArchive(desktopWindow, payload.bytes, productFolder.view());
  DeleteStagedArchive();
  // A missing, cut-off or wrongly decoded file is no installation: no shortcut to it, no
  // notice, no start.
  if (unpacked.failure) {
    ShowFailure("write", unpacked.failure.path.view(), unpacked.failure.error);
    return 1;
  }
  if (unpacked.damaged) {
    ShowDamagedFiles(unpacked.damagedEntry.view());
    return 1;
  }

  shortcut::CreateDesktopShortcut(folders::InstallerPath(productFolder.view()).view(), productFolder.view(),
                        kShortcutName);
  // The installer starts only once the user has dismissed the notice.
  ShowClosingNotice();
  LaunchSetup(productFolder.view());
  return 1;
}
