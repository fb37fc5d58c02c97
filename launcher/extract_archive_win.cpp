#include "launcher/extract_archive.h"

#include "archive/memory_io.h"
#include "archive/walk.h"
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

WriteFailure ExtractArchive(HWND parentWindow, std::span<const std::uint8_t> payload,
                            std::string_view destinationFolder) {
  const HWND window = progress::StartProgressWindow(parentWindow);
  // Without a window (0) the unpacking runs all the same; the texts then go nowhere.
  progress::SetProgressText(window, "Extracting Files...");

  archive::MemorySource archive(payload);
  EntryFiles entries(destinationFolder);
  WindowProgress report;
  archive::WalkArchive(archive, entries, report);

  progress::CloseProgressWindow();
  return entries.failure();
}

}  // namespace launcher
