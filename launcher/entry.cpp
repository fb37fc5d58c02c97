// The process entry: the platform test, COM, the main sequence, and the exit code.
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

// The C runtime calls this once it is set up; it takes the place of the runtime's own start-up
// routine that would call WinMain directly.
int main() {
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
