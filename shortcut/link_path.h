// The texts the shortcut is made from: the trimmed working folder, the shortcut file's path
// and the icon location. Portable: plain text rules, tested natively.
#pragma once

#include <string_view>

#include "win32/fixed_text.h"

namespace shortcut {

inline constexpr std::string_view kLinkExtension = ".lnk";
inline constexpr std::wstring_view kIconSuffix = L",0";  // icon number 0 of the target file

// `folder` with every trailing backslash removed; only backslashes gives "".
std::string_view TrimmedFolder(std::string_view folder);

// `desktopFolder` without its trailing backslashes, then "\", `shortcutName` verbatim and
// ".lnk" (appended even when the name already ends in it). An empty desktop folder gives
// "\<name>.lnk", the root of the current drive.
win32::PathText LinkPath(std::string_view desktopFolder, std::string_view shortcutName);

// The target as the shell reads an icon location: the path, then ",0". Formed on the UTF-16
// text, after the conversion, so that no byte of the path can join with the suffix.
win32::WideText<win32::kLongPath> IconLocation(std::wstring_view wideTargetPath);

}  // namespace shortcut
