#include "archive/entry_name.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace archive {

namespace {

bool IsForbiddenByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '\\': case '/': case ':': case '<': case '>': case '"': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

unsigned char AsciiUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
}

bool EqualsAsciiUpper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(upper[i]))
      return false;
  }
  return true;
}

// Windows maps a device name to the device whatever extension follows it, and ignores blanks
// before the extension ("NUL .txt").
bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",   "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kDevices) {
    if (EqualsAsciiUpper(base, device)) return true;
  }
  if (base.size() == 4 && (EqualsAsciiUpper(base.substr(0, 3), "COM") ||
                           EqualsAsciiUpper(base.substr(0, 3), "LPT"))) {
    const auto digit = static_cast<unsigned char>(base[3]);
    // 0xB9, 0xB2, 0xB3: superscript one, two, three in the ANSI code page.
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

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

EntryName TrimEntryName(std::string_view stored, Layout layout) {
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  if (layout == Layout::kHeader10) {
    while (!stored.empty() && stored.front() == ' ') stored.remove_prefix(1);
  }
  EntryName name;
  name.length = std::min(stored.size(), sizeof name.bytes);
  std::memcpy(name.bytes, stored.data(), name.length);
  return name;
}

void UpperCase1252(char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    text[i] = static_cast<char>(UpperCase1252(static_cast<unsigned char>(text[i])));
  }
}

EntryName CleanEntryName(std::string_view stored, Layout layout) {
  EntryName name = TrimEntryName(stored, layout);
  UpperCase1252(name.bytes, name.length);
  return name;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (IsForbiddenByte(static_cast<unsigned char>(c))) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsDeviceName(name);
}

}  // namespace archive
