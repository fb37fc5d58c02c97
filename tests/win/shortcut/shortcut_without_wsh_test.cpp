// CreateDesktopShortcut when the Windows Script Host is missing or broken in this prefix: it
// returns quietly, writes nothing, and leaves the thread fit for the next call. The registry
// changes stay in this test program's own prefix.
#include "shortcut/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "shortcut_files.h"

namespace {

using shortcut_test::Exists;

constexpr const char* kTarget = "C:\\Tarnby Setup\\TarLoom64\\setup.exe";
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

class WithoutScriptHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ::CreateDirectoryW(L"C:\\Tarnby Setup", nullptr);
    ::CreateDirectoryW(L"C:\\Tarnby Setup\\TarLoom64", nullptr);
    shortcut_test::WriteFile(L"C:\\Tarnby Setup\\TarLoom64\\setup.exe", "MZ");
    // The root of the current drive is where a shortcut with no desktop would land.
    ASSERT_TRUE(::SetCurrentDirectoryW(L"C:\\"));
    link = shortcut_test::DesktopFolder() + L"\\Tarnby TarLoom64 Setup.lnk";
    ::DeleteFileW(link.c_str());
  }
  void TearDown() override { ::CoUninitialize(); }

  bool NoShortcutAnywhere() const {
    return !Exists(link) && !Exists(L"C:\\Tarnby TarLoom64 Setup.lnk");
  }
  std::wstring link;
};

// Runs first (tests run in the order written): the real object is there, so the later "no file"
// results come from the missing object and not from a prefix that cannot make shortcuts.
TEST_F(WithoutScriptHost, ControlWithTheObjectRegisteredTheShortcutIsMade) {
  CLSID shellClass{};
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));
  shortcut::CreateDesktopShortcut(kTarget, kFolder, kName);
  EXPECT_TRUE(Exists(link));
}

TEST_F(WithoutScriptHost, ObjectThatCannotBeCreatedMakesNoShortcutAndReturns) {
  ASSERT_TRUE(PointProgIdAtMissingClass());
  CLSID shellClass{};
  ASSERT_TRUE(SUCCEEDED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));
  void* object = nullptr;
  ASSERT_TRUE(FAILED(::CoCreateInstance(shellClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                        IID_IUnknown, &object)));

  shortcut::CreateDesktopShortcut(kTarget, kFolder, kName);
  EXPECT_TRUE(NoShortcutAnywhere());
}

TEST_F(WithoutScriptHost, UnregisteredProgIdMakesNoShortcutAndReturns) {
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"WScript.Shell");
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\WScript.Shell");
  CLSID shellClass{};
  ASSERT_TRUE(FAILED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)));

  shortcut::CreateDesktopShortcut(kTarget, kFolder, kName);
  EXPECT_TRUE(NoShortcutAnywhere());
  // Twice, so that a half-released object from the first call would show here.
  shortcut::CreateDesktopShortcut(kTarget, kFolder, kName);
  EXPECT_TRUE(NoShortcutAnywhere());
}

}  // namespace
