// Text conversion at the wide-character calls. The program keeps every text as a byte string
// in the ANSI code page and converts only at the call that needs UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED).
std::wstring AnsiToWide(std::string_view text);
// WideCharToMultiByte(CP_ACP, 0).
std::string WideToAnsi(std::wstring_view text);

}  // namespace win32
