// The process entry: the platform test, COM, the main sequence, and the exit code.
//
// The program starts here, with no C runtime start-up before it: it reads no arguments or
// environment, has no static constructors (the link checks that) and no thread-local data, so
// there is nothing for the runtime to prepare, and its start-up code and imports stay out.
#include <windows.h>
#include <objbase.h>

#include "launcher/main_sequence.h"
#include "launcher/texts.h"
#include "win32/system_library.h"

namespace {

bool IsNtPlatform() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  ::GetVersionExA(&version);
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

// Windows enters with the stack aligned to 4 bytes only.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void LauncherEntry() {
  // The x87 unit in 64-bit precision, as the runtime's start-up would leave it: the
  // percentage's long double arithmetic relies on it.
  __asm__ volatile("fninit");

  // Before any DLL is loaded on demand (comctl32, COM's servers): nothing from the program's
  // own folder or the current folder.
  win32::RestrictDllSearchToSystemFolder();

  if (!IsNtPlatform()) {
    // No caption of its own: the system shows its default one.
    ::MessageBoxA(nullptr, launcher::kPlatformRefused.data(), nullptr,
                  MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    ::ExitProcess(255);
  }

  // A single-threaded apartment on the main thread: the desktop shortcut relies on it.
  ::CoInitialize(nullptr);
  const int result = WinMain(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
  ::CoUninitialize();
  ::ExitProcess(static_cast<UINT>(result));
}
