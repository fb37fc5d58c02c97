// CreateDesktopShortcut with the real WScript.Shell of the Wine prefix, the shortcut read back
// through the shell's own IShellLinkW.
#include "shortcut/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>

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
  shortcut::CreateDesktopShortcut(kTarget, "C:\\Tarnby Setup\\TarLoom64\\\\", kName);

  const LinkFields fields = ReadLink(link);
  ASSERT_TRUE(fields.loaded) << "no readable shortcut at the desktop";
  EXPECT_EQ(fields.path, kWideTarget);
  EXPECT_EQ(fields.workingFolder, L"C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(fields.description, L"Tarnby TarLoom64 Setup");
  EXPECT_EQ(fields.iconPath, kWideTarget);
  EXPECT_EQ(fields.iconIndex, 0);
  EXPECT_EQ(fields.arguments, L"");
  EXPECT_EQ(fields.showCommand, SW_SHOWNORMAL);
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

TEST_F(DesktopShortcut, DesktopThatCannotBeWrittenMakesNoShortcutAndReturns) {
  // A plain file where the desktop folder should be: the save has nowhere to go.
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((desktop + L"\\*.lnk").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do ::DeleteFileW((desktop + L"\\" + found.cFileName).c_str());
    while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ASSERT_TRUE(::RemoveDirectoryW(desktop.c_str()));
  ASSERT_TRUE(shortcut_test::WriteFile(desktop.c_str(), "in the way"));
  ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
  shortcut::CreateDesktopShortcut(kTarget, kProductFolder, kName);
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(L"C:\\Tarnby TarLoom64 Setup.lnk"));
  ::DeleteFileW(desktop.c_str());
  ::CreateDirectoryW(desktop.c_str(), nullptr);
}

}  // namespace
