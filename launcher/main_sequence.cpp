#include "launcher/main_sequence.h"

#include "launcher/elevated_run_win.h"
#include "launcher/extract_archive.h"
#include "folders/install_paths.h"
#include "launcher/product_folder.h"
#include "launcher/message_box.h"
#include "launcher/payload_check.h"
#include "launcher/finish_win.h"
#include "launcher/single_run.h"
#include "launcher/staging.h"
#include "launcher/texts.h"
#include "win32/module_instance.h"
#include "win32/system_library.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  using namespace launcher;
  // The show state is not read, nor any argument but the elevated run's, which only an
  // elevated process obeys: for any other, arguments change nothing.
  const std::string_view stagedArchiveName = kStagedArchiveName;
  win32::ModuleInstance = hInstance;
  win32::InitCommonControlsFromSystem();
  ElevatedRunTicket ticket;
  const bool elevatedRun = ticket.Read();
  // A second start while a run is under way (an impatient double-click) touches nothing. The
  // elevated run works for the run that started it, which holds the lock.
  if (!elevatedRun && !TakeTheRun()) return 1;
  // A cut or changed download installs nothing: checked before anything is made or removed.
  if (!PayloadMatchesItsDigest(win32::ModuleInstance)) {
    ShowMessage(kInstallerDamaged, kSetupCaption, MB_OK);
    return 1;
  }

  // The staged archive is the run as the user's, in the folder it was started from.
  if (!elevatedRun) DeleteStagedArchive();
  // Held open until the process ends. Whatever this process starts runs elevated when it is
  // elevated, the elevated run or one started with "Run as administrator" alike: it uses
  // folders that only the administrators and the system may change (a folder of this account's
  // could be changed by its own programs that run unelevated). A run as the user uses the fixed
  // folder, or this user's own when the fixed one cannot be made this user's.
  const bool elevated = elevatedRun || IsProcessElevated();
  folders::InstallFolders installFolders(elevated ? folders::Keepers::kAdministrators : folders::Keepers::kThisUser);
  const win32::PathText productFolder = ReadyProductFolder(installFolders);
  if (productFolder.empty()) return 1;

  const Payload payload = LoadPayload(win32::ModuleInstance);
  if (!payload.found) return 1;
  // Staged as before, but the unpacking reads the resource itself: a staged file can be
  // swapped or held open by another program between its writing and its reading, and a
  // leftover of that name (read-only, hidden, planted) is not ours.
  if (!elevatedRun) StagePayload(payload, stagedArchiveName);

  const HWND desktopWindow = ::GetDesktopWindow();
  const UnpackOutcome unpacked = ExtractArchive(desktopWindow, payload.bytes, installFolders.entries());
  if (!elevatedRun) DeleteStagedArchive();
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
  WinFinishSteps steps(installFolders, elevatedRun ? &ticket : nullptr);
  // Only a setup.exe this run wrote is ever started or pointed to: one an earlier run left
  // (read-only, it survives the emptying) is not this payload's.
  if (!unpacked.wroteInstaller) {
    steps.SayCannotStart(productFolder.view(), ERROR_FILE_NOT_FOUND);
    return 1;
  }
  if (elevatedRun) {
    FinishElevatedRun(steps, productFolder.view());
  } else {
    FinishRun(steps, productFolder.view(), folders::ProductFolder(folders::FindSystemDrive().view()).view());
  }
  return 1;
}
