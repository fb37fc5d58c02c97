#include "win32/ansi.h"

#include <windows.h>

#include "win32/conversion_flags.h"

namespace win32 {

std::size_t ConvertAnsiToWide(std::string_view text, wchar_t* out, std::size_t capacity) {
  if (text.empty() || text.size() > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return 0;
  static_assert(kPrecomposed == MB_PRECOMPOSED);
  // A UTF-8 ANSI code page (and a few others) fails the call outright on MB_PRECOMPOSED.
  const int written = ::MultiByteToWideChar(CP_ACP, AnsiToWideFlags(::GetACP()), text.data(),
                                            static_cast<int>(text.size()), out,
                                            static_cast<int>(capacity));
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

std::size_t ConvertWideToAnsi(std::wstring_view text, char* out, std::size_t capacity) {
  if (text.empty() || text.size() > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return 0;
  const int written = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                            out, static_cast<int>(capacity), nullptr, nullptr);
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

}  // namespace win32
