// The desktop shortcut to the unpacked installer, made through the Windows Script Host's
// WScript.Shell object.
#pragma once

#include <string_view>

namespace shortcut {

// Makes "<desktop>\<shortcutName>.lnk" start `targetPath` in `workingFolder` (trailing
// backslashes removed), with `shortcutName` as its description, icon 0 of the target, no
// arguments and a normal window. The texts are ANSI byte strings.
//
// COM must already be initialised on the calling thread (a single-threaded apartment).
// Nothing is reported: when WScript.Shell is not registered or cannot be created, or it gives
// no shortcut object, no further call is made; when a property or the save fails, the
// remaining calls are made all the same and there may be no shortcut file.
void CreateDesktopShortcut(std::string_view targetPath, std::string_view workingFolder,
                           std::string_view shortcutName);

}  // namespace shortcut
