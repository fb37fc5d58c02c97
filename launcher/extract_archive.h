// The unpacking: every entry of the payload becomes a file of the destination folder, while
// the progress window shows the percentage.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "launcher/entry_files_win.h"

namespace launcher {

// Unpacks the archive `payload` (the program's own resource, in memory: nothing another
// program can swap, lock or remove) into `destinationFolder`, with the progress window under
// `parentWindow`. Returns the first file that could not be created or fully written, after
// which nothing more was written; an empty failure when every entry went out. When it returns
// the progress window is gone.
WriteFailure ExtractArchive(HWND parentWindow, std::span<const std::uint8_t> payload,
                            std::string_view destinationFolder);

}  // namespace launcher
