// Text conversion at the wide-character calls. The program keeps every text as a byte string
// in the ANSI code page and converts only at the call that needs UTF-16.
#pragma once

#include <cstddef>
#include <string_view>

#include "win32/fixed_text.h"

namespace win32 {

using WidePath = WideText<kLongPath>;

// MultiByteToWideChar(CP_ACP) into `out`, which holds `capacity` characters, with
// MB_PRECOMPOSED where the ANSI code page takes it (AnsiToWideFlags: not on UTF-8).
// Returns the number written: 0 for an empty text or one whose conversion does not fit.
std::size_t ConvertAnsiToWide(std::string_view text, wchar_t* out, std::size_t capacity);

// WideCharToMultiByte(CP_ACP, 0) into `out`; the same rules.
std::size_t ConvertWideToAnsi(std::wstring_view text, char* out, std::size_t capacity);

// A text of up to kLongPath bytes converts whole (one byte gives at most one UTF-16 unit); a
// longer one converts to "" and is marked cut.
inline WidePath AnsiToWide(std::string_view text) {
  WidePath wide;
  wide.SetLength(ConvertAnsiToWide(text, wide.data(), WidePath::capacity()));
  if (wide.empty() && !text.empty()) wide.MarkCut();
  return wide;
}

inline PathText WideToAnsi(std::wstring_view text) {
  PathText ansi;
  ansi.SetLength(ConvertWideToAnsi(text, ansi.data(), PathText::capacity()));
  if (ansi.empty() && !text.empty()) ansi.MarkCut();
  return ansi;
}

}  // namespace win32
