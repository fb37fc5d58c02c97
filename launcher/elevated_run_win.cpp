#include "launcher/elevated_run_win.h"

#include <sddl.h>
#include <shellapi.h>

#include "launcher/elevated_ticket.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/user_sid.h"

namespace launcher {

namespace {

constexpr std::wstring_view kReady = L"Ready";
constexpr std::wstring_view kGoAhead = L"GoAhead";

// A number that differs from run to run: the moment, to the performance counter's tick. (A
// name someone has taken is never used, whatever they guessed.)
std::uint64_t NewTicket(DWORD attempt) {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull + attempt;
}

// The object just made, or none when it was there already: someone else's under the name could
// say "ready" or "go ahead" in our place.
HANDLE MakeNew(HANDLE object) {
  if (object != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(object);
    return nullptr;
  }
  return object;
}

}  // namespace

bool IsProcessElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  win32::UniqueHandle owner(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

ElevatedStart ElevatedRunHost::Start(DWORD& error) {
  // This account, the administrators (whoever types the password) and the system alone.
  win32::UserSid user;
  win32::WideText<256> list(L"D:P(A;;GA;;;BA)(A;;GA;;;SY)(A;;GA;;;");
  list.Append(user.text().view()).Append(L')');
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (user.get() == nullptr ||
      !::ConvertStringSecurityDescriptorToSecurityDescriptorW(list.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    error = ERROR_INVALID_SECURITY_DESCR;
    return ElevatedStart::kFailed;
  }
  SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
  std::uint64_t ticket = 0;
  for (DWORD attempt = 0; attempt < 4 && !(ready_ && goAhead_); ++attempt) {
    ticket = NewTicket(attempt);
    ready_.reset(MakeNew(::CreateEventW(&security, TRUE, FALSE, HandshakeName(ticket, kReady).c_str())));
    goAhead_.reset(MakeNew(::CreateMutexW(&security, TRUE, HandshakeName(ticket, kGoAhead).c_str())));
  }
  ::LocalFree(descriptor);
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (!(ready_ && goAhead_) || length == 0 || length >= MAX_PATH) {
    error = ERROR_INVALID_HANDLE;
    return ElevatedStart::kFailed;
  }
  const TicketText argument = ElevatedRunArgument(ticket);

  SHELLEXECUTEINFOW shell{};
  shell.cbSize = sizeof shell;
  // The process to wait on; our own message on failure, not the shell's.
  shell.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  shell.lpVerb = L"runas";
  shell.lpFile = self;
  shell.lpParameters = argument.c_str();
  shell.nShow = SW_SHOWNORMAL;
  BOOL started;
  {
    win32::QuietErrorMode quiet;
    started = ::ShellExecuteExW(&shell);
  }
  error = started ? ERROR_INVALID_HANDLE : ::GetLastError();
  process_.reset(shell.hProcess);
  if (!process_) return error == ERROR_CANCELLED ? ElevatedStart::kDeclined : ElevatedStart::kFailed;
  const HANDLE either[] = {ready_.get(), process_.get()};
  return ::WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0 ? ElevatedStart::kReady
                                                                                : ElevatedStart::kEnded;
}

void ElevatedRunHost::LetGoOn() {
  if (goAhead_) ::ReleaseMutex(goAhead_.get());
}

bool ElevatedRunTicket::Read() {
  std::uint64_t ticket = 0;
  if (!IsProcessElevated() || !ReadElevatedRunArgument(::GetCommandLineW(), ticket)) return false;
  ready_.reset(::OpenEventW(EVENT_MODIFY_STATE, FALSE, HandshakeName(ticket, kReady).c_str()));
  goAhead_.reset(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, HandshakeName(ticket, kGoAhead).c_str()));
  return ready_ && goAhead_;
}

void ElevatedRunTicket::TellReady() { ::SetEvent(ready_.get()); }

bool ElevatedRunTicket::WaitForGoAhead() {
  // The run that started this one holds the lock until it has shown the notice; when it ends
  // without letting go, the lock is abandoned.
  if (::WaitForSingleObject(goAhead_.get(), INFINITE) != WAIT_OBJECT_0) return false;
  ::ReleaseMutex(goAhead_.get());
  return true;
}

}  // namespace launcher
