// Message boxes with no owner window, their texts given as ANSI byte strings.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// MessageBoxW, the text and caption converted from the ANSI code page.
void ShowMessage(std::string_view text, std::string_view caption, UINT type);

// A box captioned "Tarnby TarLoom64 Setup" (OK button, no icon) saying what failed on which
// path and the system's reason for `error`: Unable to ACTION "PATH": REASON.
void ShowFailure(std::string_view action, std::string_view path, DWORD error);

// The installation files are damaged: "ENTRY". Please download ... again. (The entry part is
// left out when no entry was named.)
void ShowDamagedFiles(std::string_view entry);

}  // namespace launcher
