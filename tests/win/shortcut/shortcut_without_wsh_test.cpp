// CreateDesktopShortcut when the Windows Script Host is missing or broken in this prefix: the
// shell's own link object writes the same shortcut, and where nothing can be written the result
// names the link path and a reason. The registry changes stay in this test program's own prefix.
#include "shortcut/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "runs_shortcut.h"
#include "shortcut_files.h"

namespace {

using shortcut_test::Exists;

constexpr const char* kTarget = "C:\\Tarnby Setup\\TarLoom64\\setup.exe";
constexpr const wchar_t* kWideTarget = L"C:\\Tarnby Setup\\TarLoom64\\setup.exe";
constexpr const char* kFolder = "C:\\Tarnby Setup\\TarLoom64";
constexpr const char* kName = "Tarnby TarLoom64 Setup";

// Points the programmatic identifier at a class that is not registered anywhere.
bool PointProgIdAtMissingClass() {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"WScript.Shell\\CLSID", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const wchar_t missing[] = L"{0D1E7A11-5EED-4C0A-9B1E-00000000BEEF}";
  const LONG result = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing),
                                       sizeof(missing));
  ::RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class WithoutScriptHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ::CreateDirectoryW(L"C:\\Tarnby Setup", nullptr);
    ::CreateDirectoryW(L"C:\\Tarnby Setup\\TarLoom64", nullptr);
    shortcut_test::WriteFile(kWideTarget, "MZ");
    // The root of the current drive is where a shortcut with no desktop would land.
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    desktop = shortcut_test::DesktopFolder();
    ASSERT_FALSE(desktop.empty());
    link = desktop + L"\\Tarnby TarLoom64 Setup.lnk";
    ::DeleteFileW(link.c_str());
  }
  void TearDown() override { ::CoUninitialize(); }

  // The run's shortcut, whichever object wrote it, and a result that says so.
  void ExpectTheRunsShortcut(const shortcut::ShortcutResult& result) const {
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(std::string(result.linkPath.view()), Narrow(link));
    shortcut_test::ExpectTheRunsShortcut(link);
  }

  std::wstring desktop;
  std::wstring link;
};

// Runs first (tests run in the order written): the real object is there and makes the same
// shortcut the later cases expect of the shell's link object.
TEST_F(WithoutScriptHost, ControlWithTheObjectRegisteredTheShortcutIsMade) {
  CLSID shellClass{};
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));
  ExpectTheRunsShortcut(shortcut::CreateDesktopShortcut(kTarget, kFolder, kName));
}

TEST_F(WithoutScriptHost, ObjectThatCannotBeCreatedStillGivesTheSameShortcut) {
  ASSERT_TRUE(PointProgIdAtMissingClass());
  CLSID shellClass{};
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));
  void* object = nullptr;
  ASSERT_TRUE(FAILED(::CoCreateInstance(shellClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                        IID_IUnknown, &object)));

  // The working folder's trailing backslashes go on this path too.
  ExpectTheRunsShortcut(
      shortcut::CreateDesktopShortcut(kTarget, "C:\\Tarnby Setup\\TarLoom64\\\\", kName));
}

TEST_F(WithoutScriptHost, UnregisteredProgIdStillGivesTheSameShortcut) {
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"WScript.Shell");
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\WScript.Shell");
  CLSID shellClass{};
  ASSERT_TRUE(FAILED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));

  ExpectTheRunsShortcut(shortcut::CreateDesktopShortcut(kTarget, kFolder, kName));
  // Again over the first one's file, so that a half-released object from the first call would
  // show here.
  ExpectTheRunsShortcut(shortcut::CreateDesktopShortcut(kTarget, kFolder, kName));
}

// Last: it takes the desktop away (and puts it back).
TEST_F(WithoutScriptHost, NothingWrittenAnywhereGivesTheLinkPathAndAReason) {
  CLSID shellClass{};
  ASSERT_TRUE(FAILED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));
  ASSERT_TRUE(shortcut_test::BlockDesktop(desktop));

  const shortcut::ShortcutResult result = shortcut::CreateDesktopShortcut(kTarget, kFolder, kName);
  shortcut_test::UnblockDesktop(desktop);
  EXPECT_NE(result.error, 0u);
  EXPECT_EQ(std::string(result.linkPath.view()), Narrow(link));
  EXPECT_FALSE(Exists(link));
  EXPECT_FALSE(Exists(L"C:\\Tarnby TarLoom64 Setup.lnk"));
}

}  // namespace
