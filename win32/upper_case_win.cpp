#include "win32/upper_case.h"

#include <windows.h>

namespace win32 {

void UpperCaseAnsi(char* text, std::size_t length) {
  // Names are at most 256 bytes; the check only keeps the DWORD cast honest.
  if (length == 0 || length > 0x7FFFFFFF) return;
  ::CharUpperBuffA(text, static_cast<DWORD>(length));
}

}  // namespace win32
