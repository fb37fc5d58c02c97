#include "launcher/extract_archive.h"

#include "archive/walk.h"
#include "fileops/file_listing.h"
#include "launcher/archive_file_win.h"
#include "progress/progress_window.h"
#include "progress/progress_window_report.h"

namespace launcher {

namespace {

// The walk's percentages, handed to the progress window as they come.
class WindowProgress final : public archive::ProgressReport {
 public:
  void PercentChanged(int32_t percent) override { window_.PercentChanged(percent); }

 private:
  progress::ProgressWindowReport window_;
};

}  // namespace

void ExtractArchive(HWND parentWindow, std::string_view archivePath, std::string_view destinationFolder) {
  // Hidden and system files, and folders, do not count as the archive.
  if (!fileops::PathExists(archivePath, fileops::kPlainFiles)) return;

  const HWND window = progress::StartProgressWindow(parentWindow);
  // Without a window (0) the unpacking runs all the same; the texts then go nowhere.
  progress::SetProgressText(window, "Extracting Files...");

  {
    // An archive that cannot be opened reads as empty: no record, nothing written.
    win32::UniqueFile file = OpenRawFile(archivePath);
    ArchiveFile archive(file.get());
    EntryFiles entries(destinationFolder);
    WindowProgress report;
    archive::WalkArchive(archive, entries, report);
  }

  progress::CloseProgressWindow();
}

}  // namespace launcher
