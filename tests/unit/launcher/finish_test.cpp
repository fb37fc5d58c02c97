// The end of a run, on a stand-in for the system: the order of setup.exe's start, the shortcut
// and the notice, and the elevated run that Wine never asks for.
#include "launcher/finish.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

constexpr std::string_view kOwn = "C:\\Users\\ann\\AppData\\Local\\Tarnby Setup\\TarLoom64";
constexpr std::string_view kProtected = "C:\\Tarnby Setup\\TarLoom64";

// Records every step as "verb [folder]"; answers as told.
struct StandInSteps {
  std::vector<std::string> steps;
  std::uint32_t createError = 0;
  ElevatedStart elevated = ElevatedStart::kReady;
  bool goAhead = true;

  void Step(std::string step, std::string_view folder = {}) {
    if (!folder.empty()) step.append(" ").append(folder);
    steps.push_back(step);
  }
  std::uint32_t CreateSetup(std::string_view folder) {
    Step("create", folder);
    return createError;
  }
  void ResumeSetup() { Step("resume"); }
  void AbandonSetup() { Step("abandon"); }
  void WaitForSetup() { Step("wait"); }
  void WriteShortcut(std::string_view folder) { Step("shortcut", folder); }
  void ShowNotice() { Step("notice"); }
  void SayCannotStart(std::string_view folder, std::uint32_t error) {
    Step("say " + std::to_string(error), folder);
  }
  void GiveUpOwnCopy() { Step("give up"); }
  ElevatedStart StartElevatedRun(std::uint32_t& error) {
    Step("elevate");
    error = elevated == ElevatedStart::kFailed ? 1155 : 0;
    return elevated;
  }
  void LetElevatedRunGoOn() { Step("go ahead"); }
  void TellReady() { Step("ready"); }
  bool WaitForGoAhead() {
    Step("wait for go-ahead");
    return goAhead;
  }
};

using Steps = std::vector<std::string>;

std::string In(const char* verb, std::string_view folder) {
  std::string step(verb);
  return step.append(" ").append(folder);
}

TEST(FinishRun, SetupIsReadyBeforeTheShortcutAndNoticeAndStartsAfterThem) {
  StandInSteps system;
  FinishRun(system, kOwn, kProtected);
  EXPECT_EQ(system.steps, (Steps{In("create", kOwn), In("shortcut", kOwn), "notice", "resume"}));
}

TEST(FinishRun, ASetupAskingForAdministratorRightsRunsOnlyFromTheProtectedCopy) {
  // Ready: this run's copy goes, the shortcut points at the elevated run's, and that one starts
  // only after the notice; nothing of this run's copy is ever resumed.
  StandInSteps system;
  system.createError = kErrorElevationRequired;
  FinishRun(system, kOwn, kProtected);
  EXPECT_EQ(system.steps, (Steps{In("create", kOwn), "give up", "elevate", In("shortcut", kProtected),
                                 "notice", "go ahead"}));

  // A declined prompt, or an elevated run that ended having said why: nothing more.
  for (const ElevatedStart outcome : {ElevatedStart::kDeclined, ElevatedStart::kEnded}) {
    StandInSteps declined;
    declined.createError = kErrorElevationRequired;
    declined.elevated = outcome;
    FinishRun(declined, kOwn, kProtected);
    EXPECT_EQ(declined.steps, (Steps{In("create", kOwn), "give up", "elevate"}));
  }
  // An elevated run that could not be started at all is said.
  StandInSteps failed;
  failed.createError = kErrorElevationRequired;
  failed.elevated = ElevatedStart::kFailed;
  FinishRun(failed, kOwn, kProtected);
  EXPECT_EQ(failed.steps, (Steps{In("create", kOwn), "give up", "elevate", In("say 1155", kProtected)}));
}

TEST(FinishRun, AnyOtherFailedStartIsSaidWithNoShortcutOrNotice) {
  StandInSteps system;
  system.createError = 193;  // ERROR_BAD_EXE_FORMAT
  FinishRun(system, kOwn, kProtected);
  EXPECT_EQ(system.steps, (Steps{In("create", kOwn), "give up", In("say 193", kOwn)}));
}

TEST(FinishElevatedRun, StartsItsSetupOnlyOnTheGoAheadAndHoldsOnUntilItEnds) {
  StandInSteps system;
  FinishElevatedRun(system, kProtected);
  EXPECT_EQ(system.steps, (Steps{In("create", kProtected), "ready", "wait for go-ahead", "resume", "wait"}));
  // The run that started it ended without the go-ahead: its setup.exe never runs.
  StandInSteps orphan;
  orphan.goAhead = false;
  FinishElevatedRun(orphan, kProtected);
  EXPECT_EQ(orphan.steps, (Steps{In("create", kProtected), "ready", "wait for go-ahead", "abandon"}));
  // A setup.exe it cannot create is said, and the other run is never told it is ready.
  StandInSteps broken;
  broken.createError = 193;
  FinishElevatedRun(broken, kProtected);
  EXPECT_EQ(broken.steps, (Steps{In("create", kProtected), "give up", In("say 193", kProtected)}));
}

}  // namespace
}  // namespace launcher
