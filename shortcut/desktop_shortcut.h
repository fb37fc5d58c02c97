// The desktop shortcut to the unpacked installer, made through the Windows Script Host's
// WScript.Shell object, or through the shell's own link object where that cannot make it.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32/fixed_text.h"

namespace shortcut {

struct ShortcutResult {
  win32::PathText linkPath;  // the shortcut file aimed at
  // 0 when a shortcut file is there; otherwise the system's reason for the last failure (the
  // Win32 code of a FACILITY_WIN32 HRESULT, any other HRESULT as it is).
  DWORD error = 0;
};

// Makes "<desktop>\<shortcutName>.lnk" start `targetPath` in `workingFolder` (trailing
// backslashes removed), with `shortcutName` as its description, icon 0 of the target, no
// arguments and a normal window. The texts are ANSI byte strings.
//
// COM must already be initialised on the calling thread (a single-threaded apartment).
// WScript.Shell writes it first. When that object is not registered or cannot be created, gives
// no shortcut object, or its Save fails or leaves no file at the link path, the shell's link
// object (CLSID_ShellLink) writes the same shortcut instead. A save counts only when it says
// S_OK and a file is at the link path afterwards (one an earlier run left there does not count
// by itself). Nothing is shown: the caller says the error.
ShortcutResult CreateDesktopShortcut(std::string_view targetPath, std::string_view workingFolder,
                                     std::string_view shortcutName);

}  // namespace shortcut
