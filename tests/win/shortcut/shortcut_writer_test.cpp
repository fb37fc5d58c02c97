// The calls made on the shortcut object, checked against a recording shell object.
#include "shortcut/shortcut_writer_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_shell.h"

namespace {

using shortcut_test::Answer;
using shortcut_test::Call;
using shortcut_test::RecordingShell;

std::vector<std::string> Methods(const std::vector<Call>& log) {
  std::vector<std::string> methods;
  for (const Call& call : log) methods.push_back(call.method);
  return methods;
}

const Call& Find(const std::vector<Call>& log, const std::string& method) {
  for (const Call& call : log) {
    if (call.method == method) return call;
  }
  static const Call missing = shortcut_test::Named("(missing)");
  ADD_FAILURE() << method << " was not called";
  return missing;
}

const std::vector<std::string> kFullSequence = {
    "CreateShortcut", "Description", "WorkingDirectory", "Arguments", "IconLocation",
    "RelativePath", "TargetPath", "WindowStyle", "Save", "Shortcut.Release"};

TEST(WriteShortcut, PutsTheSevenPropertiesInOrderThenSavesAndReleases) {
  std::vector<Call> log;
  RecordingShell shell(log, Answer::kShortcut, S_OK);
  shortcut::WriteShortcut(shell, "C:\\users\\root\\Desktop\\Tarnby TarLoom64 Setup.lnk",
                          "C:\\Tarnby Setup\\TarLoom64\\setup.exe", "C:\\Tarnby Setup\\TarLoom64",
                          "Tarnby TarLoom64 Setup");

  EXPECT_EQ(Methods(log), kFullSequence);
  EXPECT_EQ(Find(log, "CreateShortcut").text, L"C:\\users\\root\\Desktop\\Tarnby TarLoom64 Setup.lnk");
  EXPECT_EQ(Find(log, "Description").text, L"Tarnby TarLoom64 Setup");
  EXPECT_EQ(Find(log, "WorkingDirectory").text, L"C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(Find(log, "IconLocation").text, L"C:\\Tarnby Setup\\TarLoom64\\setup.exe,0");
  EXPECT_EQ(Find(log, "RelativePath").text, L"C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(Find(log, "TargetPath").text, L"C:\\Tarnby Setup\\TarLoom64\\setup.exe");
  EXPECT_EQ(Find(log, "WindowStyle").number, 1);
  // The shortcut object is released exactly once; the shell object is left to its owner.
  EXPECT_EQ(shell.shortcut.references, 0u);
  EXPECT_EQ(shell.references, 1u);
}

TEST(WriteShortcut, ArgumentsAreANullBstrAndOtherTextsAreRealBstrs) {
  std::vector<Call> log;
  RecordingShell shell(log, Answer::kShortcut, S_OK);
  shortcut::WriteShortcut(shell, "C:\\d\\n.lnk", "C:\\t.exe", "C:\\w", "n");
  EXPECT_TRUE(Find(log, "Arguments").nullText);
  for (const char* property : {"CreateShortcut", "Description", "WorkingDirectory", "IconLocation",
                               "RelativePath", "TargetPath"}) {
    EXPECT_FALSE(Find(log, property).nullText) << property;
  }
}

TEST(WriteShortcut, AnEmptyFolderOrNameGoesAsANullBstr) {
  std::vector<Call> log;
  RecordingShell shell(log, Answer::kShortcut, S_OK);
  shortcut::WriteShortcut(shell, "\\.lnk", "C:\\t.exe", "", "");
  EXPECT_TRUE(Find(log, "Description").nullText);
  EXPECT_TRUE(Find(log, "WorkingDirectory").nullText);
  EXPECT_TRUE(Find(log, "RelativePath").nullText);
  EXPECT_EQ(Methods(log), kFullSequence);
}

TEST(WriteShortcut, TargetKeepsItsBackslashesInTargetAndIcon) {
  std::vector<Call> log;
  RecordingShell shell(log, Answer::kShortcut, S_OK);
  shortcut::WriteShortcut(shell, "C:\\d\\n.lnk", "C:\\a\\\\b\\setup.exe\\", "C:\\a", "n");
  EXPECT_EQ(Find(log, "TargetPath").text, L"C:\\a\\\\b\\setup.exe\\");
  EXPECT_EQ(Find(log, "IconLocation").text, L"C:\\a\\\\b\\setup.exe\\,0");
}

TEST(WriteShortcut, FailingPutsAndSaveDoNotStopTheSequenceAndSavesFailureIsReturned) {
  std::vector<Call> log;
  RecordingShell shell(log, Answer::kShortcut, E_ACCESSDENIED);
  EXPECT_EQ(shortcut::WriteShortcut(shell, "C:\\d\\n.lnk", "C:\\t.exe", "C:\\w", "n"),
            E_ACCESSDENIED);
  EXPECT_EQ(Methods(log), kFullSequence);
  EXPECT_EQ(shell.shortcut.references, 0u);
}

TEST(WriteShortcut, NoShortcutObjectMeansNoFurtherCallsAndAFailure) {
  for (Answer answer : {Answer::kFailure, Answer::kSuccessWithoutObject}) {
    std::vector<Call> log;
    // After a failure the recording shell leaves a bad pointer behind; touching it would crash.
    RecordingShell shell(log, answer, S_OK);
    // A success without an object is a failure too, so that the shell's link object takes over.
    EXPECT_TRUE(FAILED(shortcut::WriteShortcut(shell, "C:\\d\\n.lnk", "C:\\t.exe", "C:\\w", "n")));
    EXPECT_EQ(Methods(log), std::vector<std::string>{"CreateShortcut"});
    EXPECT_EQ(shell.shortcut.references, 1u);
    EXPECT_EQ(shell.references, 1u);
  }
}

}  // namespace
