// The end of a run, once every entry is written: setup.exe made ready, the desktop shortcut,
// the closing notice, and the start. Portable: the order and the choices are tested natively
// with a stand-in for the system (Wine never asks for elevation); finish_win.h does the steps.
//
// What runs with administrator rights runs from a folder only the administrators and the system
// can change. A setup.exe that asks for those rights cannot be started by a run as the user
// (ERROR_ELEVATION_REQUIRED), and starting the copy the user wrote through the shell would run
// it elevated from a folder the user, and every program of theirs, may change. So the launcher
// starts itself elevated instead: that run makes the fixed folder the administrators' own,
// unpacks its own payload there and readies its own setup.exe, which starts once this run has
// pointed the shortcut at that copy and shown the notice.
#pragma once

#include <cstdint>
#include <string_view>

namespace launcher {

inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED
inline constexpr std::uint32_t kErrorCancelled = 1223;         // ERROR_CANCELLED

// How the start of the elevated run came out.
enum class ElevatedStart : std::uint8_t {
  kReady,     // its setup.exe is made, suspended, in the protected folder
  kDeclined,  // the user said no to the prompt
  kEnded,     // it ended without being ready, having said why
  kFailed,    // it could not be started: `error` says why
};

// What the end of a run asks of the system: `Steps` below is any type with these members (the
// launcher's WinFinishSteps, the tests' stand-in; a template, not an interface, so that the
// launcher carries no table of them).
//
//   std::uint32_t CreateSetup(std::string_view folder)
//       creates `folder`\setup.exe's process, suspended, with `folder` as its current folder;
//       0 or the system's error
//   void ResumeSetup()
//   void AbandonSetup()                 ends the suspended setup.exe, which never ran
//   void WaitForSetup()                 until setup.exe has ended
//   void WriteShortcut(std::string_view folder)
//       the desktop shortcut to `folder`\setup.exe; a failure is said, and the run goes on
//   void ShowNotice()
//   void SayCannotStart(std::string_view folder, std::uint32_t error)
//       Unable to start "`folder`\setup.exe": the reason
//   void GiveUpOwnCopy()
//       removes the setup.exe this run wrote and lets go of every file and folder it holds
//   ElevatedStart StartElevatedRun(std::uint32_t& error)
//       the run as the user's side: starts the elevated run (the system's prompt) and waits
//       until it is ready or has ended
//   void LetElevatedRunGoOn()           the go-ahead: it starts its setup.exe
//   void TellReady()                    the elevated run's side: its setup.exe is ready
//   bool WaitForGoAhead()               false when the run that started it ended without it

// The end of a run as the user, its setup.exe written in `productFolder`: created suspended,
// then the shortcut, the notice and the start, in that order. When it asks for administrator
// rights, this run's copy goes and the elevated run readies its own in `protectedFolder` (the
// fixed folder); the shortcut then points there. A declined prompt says nothing more and makes
// no shortcut and no notice; any other failure to start is said, with no shortcut and no notice.
template <typename Steps>
void FinishRun(Steps& steps, std::string_view productFolder, std::string_view protectedFolder) {
  // Created before the shortcut and the notice, which name it, and started after them.
  const std::uint32_t error = steps.CreateSetup(productFolder);
  if (error == 0) {
    steps.WriteShortcut(productFolder);
    steps.ShowNotice();
    steps.ResumeSetup();
    return;
  }
  // Either way this run's copy will not be started: nothing is left to start it by.
  steps.GiveUpOwnCopy();
  if (error != kErrorElevationRequired) {
    steps.SayCannotStart(productFolder, error);
    return;
  }
  std::uint32_t failed = 0;
  switch (steps.StartElevatedRun(failed)) {
    case ElevatedStart::kReady:
      steps.WriteShortcut(protectedFolder);
      steps.ShowNotice();
      steps.LetElevatedRunGoOn();
      return;
    case ElevatedStart::kDeclined:  // the user's answer, not a failure
    case ElevatedStart::kEnded:     // it has said why
      return;
    case ElevatedStart::kFailed:
      steps.SayCannotStart(protectedFolder, failed);
      return;
  }
}

// The end of the elevated run, its setup.exe written in the protected `productFolder`: created
// suspended, the run that started it told, and started only on its go-ahead; this run then holds
// the folders until setup.exe has ended.
template <typename Steps>
void FinishElevatedRun(Steps& steps, std::string_view productFolder) {
  if (const std::uint32_t error = steps.CreateSetup(productFolder)) {
    steps.GiveUpOwnCopy();
    steps.SayCannotStart(productFolder, error);
    return;
  }
  steps.TellReady();
  if (!steps.WaitForGoAhead()) {
    steps.AbandonSetup();
    return;
  }
  steps.ResumeSetup();
  // The folders stay held, so that nobody can rename or replace them under it.
  steps.WaitForSetup();
}

}  // namespace launcher
