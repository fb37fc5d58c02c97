#include "win32/ansi.h"

#include <windows.h>

namespace win32 {

std::size_t ConvertAnsiToWide(std::string_view text, wchar_t* out, std::size_t capacity) {
  if (text.empty() || text.size() > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return 0;
  const int written = ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(),
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
