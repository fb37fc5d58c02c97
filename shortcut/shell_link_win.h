// The shortcut written by the shell's own link object (CLSID_ShellLink, IShellLinkW and its
// IPersistFile), for systems where WScript.Shell is missing or does not write it.
#pragma once

#include <windows.h>

#include <string_view>

namespace shortcut {

// Sets, in the order WriteShortcut puts them: description = shortcutName, working folder =
// trimmedFolder, arguments = "", icon = targetPath and number 0, path = targetPath, show command
// SW_SHOWNORMAL (no relative path: see the .cpp); then IPersistFile::Save(linkPath, TRUE). The
// texts are ANSI and converted for each call. As with WriteShortcut, a setter that fails does
// not stop the others or the save. Returns the link object's creation or QueryInterface
// failure, else Save's result.
HRESULT WriteShellLink(const wchar_t* linkPath, std::string_view targetPath,
                       std::string_view trimmedFolder, std::string_view shortcutName);

}  // namespace shortcut
