// The unpacking: every entry of the staged archive becomes a file of the destination folder,
// while the progress window shows the percentage.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// Unpacks `archivePath` into `destinationFolder` with the progress window under `parentWindow`.
// Returns at once, with no window, when no plain file of that name exists. Nothing is reported:
// an entry that cannot be written is missing afterwards. When it returns the archive is closed
// and the progress window is gone; the archive file stays on disk.
void ExtractArchive(HWND parentWindow, std::string_view archivePath, std::string_view destinationFolder);

}  // namespace launcher
