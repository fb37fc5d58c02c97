#include "archive/upper_case.h"

#include <windows.h>

#include <limits>

namespace eek {

void UpperCaseAnsi(std::string& text) {
  // Names are at most 256 bytes; the length check only keeps the DWORD cast honest.
  if (text.empty() || text.size() > std::numeric_limits<DWORD>::max()) return;
  CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
}

}  // namespace eek
