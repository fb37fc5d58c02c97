#include "launcher/single_run.h"

#include <windows.h>
#include <aclapi.h>

#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "progress/progress_layout.h"
#include "win32/user_sid.h"

namespace launcher {

namespace {

// Per session: a machine-wide name is one that any account can make first.
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
  // A lock that cannot be opened (someone else's object of that name, closed to us) lets the
  // run go on: the folder handles keep runs apart all the same.
  if (lock == nullptr || ::GetLastError() != ERROR_ALREADY_EXISTS) return true;
  // One that was there already is another run's of this account only when this account (or,
  // for a run of it started elevated, the administrators) owns it: anyone else's is a name taken
  // from us, which says nothing about our runs and stops none of them.
  // An owner that cannot be told (Wine records none) is taken for ours: a second start of
  // this account's touches nothing.
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  win32::UserSid user;
  const bool someoneElses = ::GetSecurityInfo(lock, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                              nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                            owner != nullptr && !win32::IsThisAccountOrAdministrators(owner, user);
  ::LocalFree(descriptor);
  if (someoneElses) return true;
  if (HWND window = RunningWindow()) {
    ::SetForegroundWindow(window);
  } else {
    SayAlreadyRunning();
  }
  return false;
}

void SayAlreadyRunning() { ShowMessage(kAlreadyRunning, kSetupCaption, MB_OK); }

}  // namespace launcher
