// The unpacking: every entry of the payload becomes a file of the destination folder, while
// the progress window shows the percentage.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "folders/entry_writer.h"
#include "win32/fixed_text.h"

namespace launcher {

// How the unpacking ended. Neither a failed write nor a damaged archive is an installation.
struct UnpackOutcome {
  // The first file that could not be created or fully written, after which nothing more was
  // written; empty when every entry went out.
  folders::WriteFailure failure;
  // The archive could not be taken whole (cut short, a record past its end, a stream the
  // decoder refuses): the walk stopped at the first damaged entry, whose file is removed.
  bool damaged = false;
  win32::PathText damagedEntry;  // its cleaned name; empty when no named record was reached
  // A whole SETUP.EXE was written and is held: the one a shortcut may point to and a launch
  // start. Never after a failed write or a damaged archive, whose SETUP.EXE is removed again.
  bool wroteInstaller = false;
};

// The installer as the walk names it: cleaned and upper-cased.
inline constexpr std::string_view kInstallerEntry = "SETUP.EXE";

// Unpacks the archive `payload` (the program's own resource, in memory: nothing another
// program can swap, lock or remove) through `files` (InstallFolders::entries()), with the
// progress window under `parentWindow`. When it returns the progress window is gone.
UnpackOutcome ExtractArchive(HWND parentWindow, std::span<const std::uint8_t> payload,
                             folders::EntryWriter& files);

}  // namespace launcher
