// Entry names: how a record's stored name becomes the output file's name, and which names
// may be written at all. The packer checks its inputs with the same rules.
#pragma once

#include <cstddef>
#include <string_view>

#include "archive/format.h"

namespace archive {

// A cleaned name: at most the 256 bytes a record can store, so it never needs the heap.
struct EntryName {
  char bytes[kLayout2LongestName];
  std::size_t length = 0;

  std::string_view view() const { return {bytes, length}; }
  friend bool operator==(const EntryName& name, std::string_view text) { return name.view() == text; }
};

// Layout 2 drops blanks (0x20 only) from both ends, layout 1 from the right end only (a
// leading blank in a layout-1 name stays). The case is left as stored: the sink upper-cases
// the name as its system does (EntrySink::UpperCase). A stored name longer than a record can
// hold is cut to 256 bytes.
EntryName TrimEntryName(std::string_view stored, Layout layout);

// Upper-cases in place as the Western code page 1252 does: a-z, the accented letters
// 0xE0-0xFE but for the division sign 0xF7, and the four letters whose capitals sit in
// 0x80-0x9F (s-caron, oe, z-caron, y-diaeresis). Sharp s and the micro sign stay.
void UpperCase1252(char* text, std::size_t length);

// TrimEntryName, then UpperCase1252: the name as the launcher writes it on a Western system.
EntryName CleanEntryName(std::string_view stored, Layout layout);

// The longest entry name the launcher can install. It writes each entry to
// "C:\Tarnby Setup\TarLoom64\NAME" on the system drive through a MAX_PATH buffer (259 bytes
// and a NUL): 259 - 2 for the drive - 23 for the product folder - 1 for the separator. The
// packer refuses longer names; the launcher checks its folder names against this number.
inline constexpr std::size_t kLongestInstalledName = 233;

// True when `name` can only mean a file directly inside the destination folder: not empty;
// no "\", "/" or ":" (no folder part, no drive, no stream); not "." or ".."; no control
// character (0x00-0x1F, 0x7F) and none of < > " | ? *; not ending in "." or " " (Windows
// drops those, so "..." would name the folder itself); and not a device name (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9, COM and LPT with a superscript 1-3), with or
// without an extension, in any case.
bool IsPlainFileName(std::string_view name);

}  // namespace archive
