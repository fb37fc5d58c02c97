// The shortcut object's part of the desktop shortcut: asks an existing shell object for a
// shortcut at `linkPath`, puts its properties and saves it. Apart from the shell object itself,
// it is separate from CreateDesktopShortcut so that the order and values of the calls can be
// checked against a recording shell object.
#pragma once

#include <string_view>

#include "shortcut/wsh_interfaces.h"

namespace shortcut {

inline constexpr int kNormalWindow = 1;

// Calls, in order: CreateShortcut(linkPath); put Description = shortcutName, WorkingDirectory
// = trimmedFolder, Arguments = "" (a null BSTR), IconLocation = targetPath + ",0", RelativePath
// = trimmedFolder, TargetPath = targetPath, WindowStyle = 1; Save; Release of the shortcut
// object. Each text is converted from the ANSI code page into a BSTR made for that one call
// and freed when it returns; an empty text is a null BSTR. The results of the puts and of Save
// are not acted on. When CreateShortcut fails or gives no object, nothing further is called.
// The shell object stays the caller's. Returns CreateShortcut's failure (E_POINTER for success
// without an object), else Save's result, for the caller to judge with the file itself.
HRESULT WriteShortcut(IWshShell& shellObject, std::string_view linkPath, std::string_view targetPath,
                      std::string_view trimmedFolder, std::string_view shortcutName);

}  // namespace shortcut
