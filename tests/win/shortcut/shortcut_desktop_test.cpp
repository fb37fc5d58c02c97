// CreateDesktopShortcut with the real WScript.Shell of the Wine prefix, the shortcut read back
// through the shell's own IShellLinkW.
#include "shortcut/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>

#include "runs_shortcut.h"
#include "shortcut_files.h"

namespace {

using shortcut_test::DesktopFolder;
using shortcut_test::Exists;
using shortcut_test::LinkFields;
using shortcut_test::ReadLink;

constexpr const char* kProductFolder = "C:\\Tarnby Setup\\TarLoom64";
constexpr const char* kTarget = "C:\\Tarnby Setup\\TarLoom64\\setup.exe";
constexpr const wchar_t* kWideTarget = L"C:\\Tarnby Setup\\TarLoom64\\setup.exe";
constexpr const char* kName = "Tarnby TarLoom64 Setup";

class DesktopShortcut : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ::CreateDirectoryW(L"C:\\Tarnby Setup", nullptr);
    ::CreateDirectoryW(L"C:\\Tarnby Setup\\TarLoom64", nullptr);
    shortcut_test::WriteFile(kWideTarget, "MZ");
    desktop = DesktopFolder();
    ASSERT_FALSE(desktop.empty());
    link = desktop + L"\\Tarnby TarLoom64 Setup.lnk";
    ::DeleteFileW(link.c_str());
  }
  void TearDown() override { ::CoUninitialize(); }

  std::wstring desktop;
  std::wstring link;
};

TEST_F(DesktopShortcut, WritesTheRunsShortcutOnTheDesktop) {
  // The product folder as passed may end in backslashes; the shortcut's working folder does not.
  EXPECT_EQ(shortcut::CreateDesktopShortcut(kTarget, "C:\\Tarnby Setup\\TarLoom64\\\\", kName).error, 0u);
  shortcut_test::ExpectTheRunsShortcut(link);
}

TEST_F(DesktopShortcut, ReplacesWhateverIsAlreadyAtTheLinkPath) {
  shortcut_test::WriteFile(link.c_str(), "not a shortcut");
  shortcut::CreateDesktopShortcut(kTarget, kProductFolder, kName);
  const LinkFields fields = ReadLink(link);
  ASSERT_TRUE(fields.loaded);
  EXPECT_EQ(fields.path, kWideTarget);
}

TEST_F(DesktopShortcut, NameIsUsedVerbatimWithLnkAppended) {
  const std::wstring doubled = desktop + L"\\Readme.lnk.lnk";
  ::DeleteFileW(doubled.c_str());
  shortcut::CreateDesktopShortcut(kTarget, kProductFolder, "Readme.lnk");
  const LinkFields fields = ReadLink(doubled);
  ASSERT_TRUE(fields.loaded);
  EXPECT_EQ(fields.description, L"Readme.lnk");
  EXPECT_FALSE(Exists(desktop + L"\\Readme.lnk"));
}

TEST_F(DesktopShortcut, ANameNoFileCanHaveMakesNoFileAndReturns) {
  shortcut::CreateDesktopShortcut(kTarget, kProductFolder, "bad|name");
  EXPECT_FALSE(Exists(desktop + L"\\bad|name.lnk"));
  // The next call on the same thread still works: nothing was left half-done.
  shortcut::CreateDesktopShortcut(kTarget, kProductFolder, kName);
  EXPECT_TRUE(ReadLink(link).loaded);
}

TEST_F(DesktopShortcut, DesktopThatCannotBeWrittenMakesNoShortcutAndSaysWhy) {
  // A plain file where the desktop folder should be: neither save has anywhere to go.
  ASSERT_TRUE(shortcut_test::BlockDesktop(desktop));
  ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
  const shortcut::ShortcutResult result =
      shortcut::CreateDesktopShortcut(kTarget, kProductFolder, kName);
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(L"C:\\Tarnby TarLoom64 Setup.lnk"));
  EXPECT_NE(result.error, 0u);
  shortcut_test::UnblockDesktop(desktop);
}

}  // namespace
