#include "archive/upper_case.h"

#include <cstdint>

namespace eek {

namespace {

unsigned char UpperCase1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: return c;       // sharp s and micro sign have no capital in this code page
  }
}

}  // namespace

void UpperCaseAnsi(std::string& text) {
  for (char& c : text) c = static_cast<char>(UpperCase1252(static_cast<unsigned char>(c)));
}

}  // namespace eek
