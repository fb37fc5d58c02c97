// Entry names: how a record's stored name becomes the output file's name, and which names
// may be written at all. The packer checks its inputs with the same rule.
#pragma once

#include <string>
#include <string_view>

#include "archive/format.h"

namespace eek {

// Layout 2 drops blanks (0x20 only) from both ends, layout 1 from the right end only (a
// leading blank in a layout-1 name stays); then the name is upper-cased (UpperCaseAnsi).
std::string CleanEntryName(std::string_view stored, Layout layout);

// True when `name` can only mean a file directly inside the destination folder: not empty;
// no "\", "/" or ":" (no folder part, no drive, no stream); not "." or ".."; no control
// character (0x00-0x1F, 0x7F) and none of < > " | ? *; not ending in "." or " " (Windows
// drops those, so "..." would name the folder itself); and not a device name (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9, COM and LPT with a superscript 1-3), with or
// without an extension, in any case.
bool IsPlainFileName(std::string_view name);

}  // namespace eek
