#include "shortcut/desktop_shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "shortcut/link_path.h"
#include "shortcut/shortcut_writer_win.h"
#include "shortcut/wsh_interfaces.h"
#include "win32/com.h"
#include "win32/fixed_text.h"

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

}  // namespace

void CreateDesktopShortcut(std::string_view targetPath, std::string_view workingFolder,
                           std::string_view shortcutName) {
  CLSID shellClass{};
  if (FAILED(::CLSIDFromProgID(L"WScript.Shell", &shellClass))) return;
  win32::ComPtr<IWshShell> shellObject;
  if (FAILED(::CoCreateInstance(shellClass, nullptr, kShellClassContext, kIidIWshShell,
                                shellObject.put_void())) ||
      !shellObject) {
    return;
  }

  const std::string_view trimmedFolder = TrimmedFolder(workingFolder);
  const win32::PathText linkPath = LinkPath(DesktopFolder().view(), shortcutName);
  WriteShortcut(*shellObject.get(), linkPath.view(), targetPath, trimmedFolder, shortcutName);
  // The shortcut object is released inside WriteShortcut, the shell object here: in that order.
}

}  // namespace shortcut
