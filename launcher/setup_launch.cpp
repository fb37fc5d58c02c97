#include "launcher/setup_launch.h"

#include "folders/install_paths.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

// The sizes the system expects of a 32-bit caller.
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12);
static_assert(sizeof(STARTUPINFOW) == 68);

DWORD SetupProcess::Create(std::string_view productFolder, CreateProcessFunction createProcess) {
  const win32::WidePath folder = win32::AnsiToWide(productFolder);
  {
    win32::QuietErrorMode quiet;
    ::SetCurrentDirectoryW(folder.c_str());
  }

  // The path travels through a MAX_PATH buffer. A path that does not fit would be cut into the
  // name of some other file, so nothing is started then.
  const win32::PathText path = folders::InstallerPath(productFolder);
  const win32::FixedText<win32::kPathBuffer> buffer(path.view());
  if (path.cut() || std::string_view(buffer.c_str()) != path.view()) return ERROR_FILENAME_EXCED_RANGE;
  const win32::WidePath installer = win32::AnsiToWide(buffer.c_str());

  // With no application name, CreateProcessW splits the unquoted command line at its spaces and
  // tries "C:\Tarnby.exe" before "C:\Tarnby Setup\TarLoom64\setup.exe". Naming the application
  // starts exactly that file; the command line stays the bare path, as the installer expects.
  // CreateProcessW may write into the command line, so it must be a writable copy.
  win32::WidePath commandLine = installer;

  SECURITY_ATTRIBUTES processAttributes{};
  processAttributes.nLength = sizeof(SECURITY_ATTRIBUTES);
  processAttributes.bInheritHandle = FALSE;
  SECURITY_ATTRIBUTES threadAttributes = processAttributes;

  STARTUPINFOW startup{};
  startup.cb = sizeof(STARTUPINFOW);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;

  PROCESS_INFORMATION started{};
  win32::QuietErrorMode quiet;
  // Suspended: it runs only once the shortcut and the notice that name it are there.
  if (!createProcess(installer.c_str(), commandLine.data(), &processAttributes, &threadAttributes,
                     FALSE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                     &started)) {
    return ::GetLastError();
  }
  process_.reset(started.hProcess);
  thread_.reset(started.hThread);
  return 0;
}

void SetupProcess::Resume() {
  if (thread_) ::ResumeThread(thread_.get());
  thread_.reset();
}

void SetupProcess::Abandon() {
  if (process_) ::TerminateProcess(process_.get(), 1);
  Forget();
}

void SetupProcess::WaitForEnd() {
  if (process_) ::WaitForSingleObject(process_.get(), INFINITE);
}

void SetupProcess::Forget() {
  thread_.reset();
  process_.reset();
}

}  // namespace launcher
