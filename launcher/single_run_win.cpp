#include "launcher/single_run.h"

#include <windows.h>

#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "progress/progress_layout.h"

namespace launcher {

namespace {

// Per session: a machine-wide name is one that any account can make first, and every run
// after that would be refused.
constexpr const wchar_t* kRunLockName = L"Local\\TarnbyTarLoom64SetupRun";

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
  // A lock that cannot be opened (another account's object of that name in this session, no
  // such namespace) lets the run go on: the folder handles keep runs apart all the same.
  if (lock == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS) return true;
  if (HWND window = RunningWindow()) {
    ::SetForegroundWindow(window);
  } else {
    SayAlreadyRunning();
  }
  return false;
}

void SayAlreadyRunning() { ShowMessage(kAlreadyRunning, kSetupCaption, MB_OK); }

}  // namespace launcher
