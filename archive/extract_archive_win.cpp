#include "archive/extract_archive.h"

#include "archive/archive_file_win.h"
#include "archive/walk.h"
#include "fileops/file_listing.h"
#include "progress/progress_window.h"
#include "progress/progress_window_report.h"

void ExtractArchive(HWND parentWindow, std::string_view archivePath, std::string_view destinationFolder) {
  // Hidden and system files, and folders, do not count as the archive.
  if (!PathExists(archivePath, fileops::kPlainFiles)) return;

  const HWND window = StartProgressWindow(parentWindow);
  // Without a window (0) the unpacking runs all the same; the texts then go nowhere.
  SetProgressText(window, "Extracting Files...");

  {
    // An archive that cannot be opened reads as empty: no record, nothing written.
    win32::UniqueFile file = eek::OpenRawFile(archivePath);
    eek::ArchiveFile archive(file.get());
    eek::EntryFiles entries(destinationFolder);
    progress::ProgressWindowReport report;
    eek::WalkArchive(archive, entries, report);
  }

  CloseProgressWindow();
}
