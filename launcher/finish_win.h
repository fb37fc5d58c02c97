// The end of the run on Windows: the steps of finish.h over the held folders, the desktop
// shortcut, the closing notice, setup.exe's process and the elevated run's objects.
#pragma once

#include "folders/working_folders.h"
#include "launcher/elevated_run_win.h"
#include "launcher/finish.h"
#include "launcher/setup_launch.h"

namespace launcher {

class WinFinishSteps {
 public:
  // `ticket` is the elevated run's, or null for a run as the user.
  WinFinishSteps(folders::InstallFolders& folders, ElevatedRunTicket* ticket)
      : folders_(folders), ticket_(ticket) {}

  std::uint32_t CreateSetup(std::string_view folder);
  void ResumeSetup();
  void AbandonSetup() { setup_.Abandon(); }
  void WaitForSetup() { setup_.WaitForEnd(); }
  void WriteShortcut(std::string_view folder);
  void ShowNotice();
  void SayCannotStart(std::string_view folder, std::uint32_t error);
  void GiveUpOwnCopy();
  ElevatedStart StartElevatedRun(std::uint32_t& error);
  void LetElevatedRunGoOn() { host_.LetGoOn(); }
  void TellReady() { ticket_->TellReady(); }
  bool WaitForGoAhead() { return ticket_->WaitForGoAhead(); }

 private:
  folders::InstallFolders& folders_;
  ElevatedRunTicket* ticket_;
  SetupProcess setup_;
  ElevatedRunHost host_;
};

}  // namespace launcher
