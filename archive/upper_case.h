// The system's ANSI upper-casing of entry names.
#pragma once

#include <string>

namespace eek {

// Upper-cases `text` in place as the ANSI code page does. The Windows build asks the system
// (CharUpperBuffA, so the machine's code page decides); the portable build applies the
// Western code page 1252: a-z, the accented letters 0xE0-0xFE but for the division sign 0xF7,
// and the four letters whose capitals sit in 0x80-0x9F (s-caron, oe, z-caron, y-diaeresis).
void UpperCaseAnsi(std::string& text);

}  // namespace eek
