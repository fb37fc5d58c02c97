#include "launcher/single_run.h"

#include <windows.h>

#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "progress/progress_layout.h"

namespace launcher {

namespace {

constexpr const wchar_t* kRunLockName = L"Global\\TarnbyTarLoom64SetupRun";

// The window a user would be looking for: the progress window, else one of the run's boxes.
HWND RunningWindow() {
  if (HWND window = ::FindWindowA(progress::kClassName, nullptr)) return window;
  if (HWND notice = ::FindWindowA("#32770", kNoticeCaption.data())) return notice;
  return ::FindWindowA("#32770", kSetupCaption.data());
}

}  // namespace

bool TakeTheRun() {
  // Held, never closed: the system releases it when the process ends, after setup.exe is
  // started.
  const HANDLE lock = ::CreateMutexW(nullptr, TRUE, kRunLockName);
  const DWORD error = ::GetLastError();
  // Another account's run makes the open fail with "access denied"; a lock that cannot be made
  // at all (no such namespace) lets the run go on as it always has.
  const bool taken = lock != nullptr ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
  if (taken) return true;
  if (HWND window = RunningWindow()) {
    ::SetForegroundWindow(window);
  } else {
    ShowMessage(kAlreadyRunning, kSetupCaption, MB_OK);
  }
  return false;
}

}  // namespace launcher
