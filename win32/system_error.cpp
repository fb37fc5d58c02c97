#include "win32/system_error.h"

namespace win32 {

ErrorText SystemErrorText(DWORD error) {
  ErrorText text;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(ErrorText::capacity()), nullptr);
  std::size_t end = length;
  while (end > 0 && (text.c_str()[end - 1] == L'\r' || text.c_str()[end - 1] == L'\n' ||
                     text.c_str()[end - 1] == L' ')) {
    --end;
  }
  text.SetLength(end);
  if (!text.empty()) return text;
  // No text: the number, in decimal.
  wchar_t digits[12];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + error % 10);
    error /= 10;
  } while (error != 0);
  text.Append(L"error ");
  while (count > 0) text.Append(digits[--count]);
  return text;
}

}  // namespace win32
