#include "launcher/setup_launch.h"

#include <shellapi.h>

#include "folders/install_paths.h"
#include "launcher/launch_rules.h"
#include "launcher/message_box.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

namespace {

// The sizes the system expects of a 32-bit caller.
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12);
static_assert(sizeof(STARTUPINFOW) == 68);

// The same installer through the shell, which asks the user for administrator rights. Returns
// 0 when it started, otherwise the error.
DWORD StartThroughShell(const wchar_t* installer, const wchar_t* folder) {
  SHELLEXECUTEINFOW shell{};
  shell.cbSize = sizeof shell;
  // Our own message on failure, not the shell's.
  shell.fMask = SEE_MASK_FLAG_NO_UI;
  shell.lpFile = installer;
  shell.lpDirectory = folder;
  shell.nShow = SW_SHOWNORMAL;
  win32::QuietErrorMode quiet;
  return ::ShellExecuteExW(&shell) ? 0 : ::GetLastError();
}

}  // namespace

void LaunchSetup(std::string_view productFolder, CreateProcessFunction createProcess) {
  const win32::WidePath folder = win32::AnsiToWide(productFolder);
  {
    win32::QuietErrorMode quiet;
    ::SetCurrentDirectoryW(folder.c_str());
  }

  // The path travels through a MAX_PATH buffer. A path that does not fit would be cut into the
  // name of some other file, so nothing is started then.
  const win32::PathText path = folders::InstallerPath(productFolder);
  const win32::FixedText<win32::kPathBuffer> buffer(path.view());
  if (path.cut() || std::string_view(buffer.c_str()) != path.view()) {
    ShowFailure("start", path.view(), ERROR_FILENAME_EXCED_RANGE);
    return;
  }
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
  DWORD error = 0;
  {
    win32::QuietErrorMode quiet;
    if (!createProcess(installer.c_str(), commandLine.data(), &processAttributes,
                       &threadAttributes, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startup, &started)) {
      error = ::GetLastError();
    }
  }
  if (error == 0) {
    // Nothing of the child is kept: it is neither waited for nor asked for its exit code.
    win32::UniqueHandle process(started.hProcess);
    win32::UniqueHandle thread(started.hThread);
    return;
  }

  AfterFailedStart next = AfterCreateProcessFailed(error);
  if (next == AfterFailedStart::kStartThroughShell) {
    error = StartThroughShell(installer.c_str(), folder.c_str());
    if (error == 0) return;
    next = AfterShellStartFailed(error);
  }
  if (next == AfterFailedStart::kSayWhy) ShowFailure("start", path.view(), error);
}

}  // namespace launcher
