#include "launcher/finish_win.h"

#include "folders/install_paths.h"
#include "launcher/closing_notice.h"
#include "launcher/extract_archive.h"
#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "shortcut/desktop_shortcut.h"

namespace launcher {

std::uint32_t WinFinishSteps::CreateSetup(std::string_view folder) { return setup_.Create(folder); }

void WinFinishSteps::ResumeSetup() {
  setup_.Resume();
  // A run as the user keeps nothing of the child; the elevated run waits for it.
  if (ticket_ == nullptr) setup_.Forget();
}

void WinFinishSteps::WriteShortcut(std::string_view folder) {
  const shortcut::ShortcutResult made =
      shortcut::CreateDesktopShortcut(folders::InstallerPath(folder).view(), folder, kShortcutName);
  // The notice that follows names the shortcut: when there is none, the user is told first.
  if (made.error != 0) ShowFailure("create", made.linkPath.view(), made.error);
}

void WinFinishSteps::ShowNotice() { ShowClosingNotice(); }

void WinFinishSteps::SayCannotStart(std::string_view folder, std::uint32_t error) {
  ShowFailure("start", folders::InstallerPath(folder).view(), error);
}

void WinFinishSteps::GiveUpOwnCopy() {
  folders_.entries().Discard(kInstallerEntry);
  folders_.LetGo();
}

ElevatedStart WinFinishSteps::StartElevatedRun(std::uint32_t& error) {
  DWORD failed = 0;
  const ElevatedStart started = host_.Start(failed);
  error = failed;
  return started;
}

}  // namespace launcher
