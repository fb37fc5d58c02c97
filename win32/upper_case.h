// The system's ANSI upper-casing, for entry names.
#pragma once

#include <cstddef>

namespace win32 {

// Upper-cases `length` bytes at `text` in place with CharUpperBuffA, so the machine's ANSI
// code page decides.
void UpperCaseAnsi(char* text, std::size_t length);

}  // namespace win32
