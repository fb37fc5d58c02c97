// Message boxes with no owner window, their texts given as ANSI byte strings.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// MessageBoxW, the text and caption converted from the ANSI code page.
void ShowMessage(std::string_view text, std::string_view caption, UINT type);

}  // namespace launcher
