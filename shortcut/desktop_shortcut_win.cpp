#include "shortcut/desktop_shortcut.h"

#include <objbase.h>
#include <shlobj.h>

#include "shortcut/link_path.h"
#include "shortcut/shell_link_win.h"
#include "shortcut/shortcut_writer_win.h"
#include "shortcut/wsh_interfaces.h"
#include "win32/ansi.h"
#include "win32/com.h"

namespace shortcut {

namespace {

// In-process or local server; a running instance is never looked up.
constexpr DWORD kShellClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
static_assert(kShellClassContext == 5);

// The desktop folder up to the buffer's first zero byte; "" when the shell wrote nothing. The
// call's result is not looked at: a failed call leaves the zero-filled buffer empty.
win32::PathText DesktopFolder() {
  win32::FixedText<win32::kPathBuffer> buffer("");
  ::SHGetFolderPathA(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, buffer.data());
  const std::string_view written(buffer.c_str(), win32::kPathBuffer);
  return win32::PathText(written.substr(0, written.find('\0')));
}

// A Win32 error wrapped in an HRESULT is said as that error, in the system's own words.
DWORD ErrorOf(HRESULT result) {
  if (HRESULT_FACILITY(result) == FACILITY_WIN32 && HRESULT_CODE(result) != 0) {
    return HRESULT_CODE(result);
  }
  return static_cast<DWORD>(result);
}

// 0 when a save said S_OK and the file is there, otherwise why not. Both are asked: a save may
// answer a success and write nothing (IPersistFile::Save's S_FALSE means "not saved"), and an
// earlier run's file of that name would pass the existence test on its own.
DWORD SaveOutcome(HRESULT saved, const wchar_t* linkPath) {
  if (FAILED(saved)) return ErrorOf(saved);
  if (::GetFileAttributesW(linkPath) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
  }
  return saved == S_OK ? ERROR_SUCCESS : ErrorOf(E_FAIL);
}

}  // namespace

ShortcutResult CreateDesktopShortcut(std::string_view targetPath, std::string_view workingFolder,
                                     std::string_view shortcutName) {
  CLSID shellClass{};
  win32::ComPtr<IWshShell> shellObject;
  const bool scriptHost =
      SUCCEEDED(::CLSIDFromProgID(L"WScript.Shell", &shellClass)) &&
      SUCCEEDED(::CoCreateInstance(shellClass, nullptr, kShellClassContext, kIidIWshShell,
                                   shellObject.put_void())) &&
      shellObject;

  const std::string_view trimmedFolder = TrimmedFolder(workingFolder);
  ShortcutResult result;
  result.linkPath = LinkPath(DesktopFolder().view(), shortcutName);
  const win32::WidePath wideLinkPath = win32::AnsiToWide(result.linkPath.view());
  if (scriptHost) {
    const HRESULT saved = WriteShortcut(*shellObject.get(), result.linkPath.view(), targetPath,
                                        trimmedFolder, shortcutName);
    result.error = SaveOutcome(saved, wideLinkPath.c_str());
    // The shortcut object was released inside WriteShortcut, the shell object goes here.
    shellObject.reset();
    if (result.error == ERROR_SUCCESS) return result;
  }
  // No Script Host, or one that did not write it: the same shortcut through the shell itself.
  const HRESULT saved = WriteShellLink(wideLinkPath.c_str(), targetPath, trimmedFolder, shortcutName);
  result.error = SaveOutcome(saved, wideLinkPath.c_str());
  return result;
}

}  // namespace shortcut
