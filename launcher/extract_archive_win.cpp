#include "launcher/extract_archive.h"

#include "archive/memory_io.h"
#include "archive/walk.h"
#include "archive/walk_verdict.h"
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

// The entry files, stopping the walk after the first damaged entry: nothing is unpacked from
// an archive once it is known to be damaged.
class StopAtDamage final : public archive::EntrySink {
 public:
  StopAtDamage(folders::EntryFiles& files, const archive::WalkVerdict& verdict)
      : files_(files), verdict_(verdict) {}
  void Begin(std::string_view name) override {
    lastBegun_ = win32::PathText(name);
    files_.Begin(name);
  }
  void Write(const std::uint8_t* data, std::size_t size) override { files_.Write(data, size); }
  void End() override { files_.End(); }
  void UpperCase(char* name, std::size_t length) override { files_.UpperCase(name, length); }
  bool Failed() const override { return files_.Failed() || verdict_.damaged(); }

  std::string_view lastBegun() const { return lastBegun_.view(); }

 private:
  folders::EntryFiles& files_;
  const archive::WalkVerdict& verdict_;
  win32::PathText lastBegun_;
};

}  // namespace

UnpackOutcome ExtractArchive(HWND parentWindow, std::span<const std::uint8_t> payload,
                             std::string_view destinationFolder) {
  const HWND window = progress::StartProgressWindow(parentWindow);
  // Without a window (0) the unpacking runs all the same; the texts then go nowhere.
  progress::SetProgressText(window, "Extracting Files...");

  archive::MemorySource archive(payload);
  folders::EntryFiles files(destinationFolder);
  archive::WalkVerdict verdict;
  StopAtDamage entries(files, verdict);
  WindowProgress report;
  archive::WalkArchive(archive, entries, report, verdict);

  progress::CloseProgressWindow();

  UnpackOutcome outcome{files.failure(), false, {}};
  if (!outcome.failure && verdict.damaged()) {
    outcome.damaged = true;
    outcome.damagedEntry = win32::PathText(verdict.damagedEntry());
    // The damaged entry's file holds what its broken stream decoded to: it goes, so that
    // nothing can start it. A skipped name (one that leaves the folder) was never written.
    if (!verdict.damagedEntry().empty() && verdict.damagedEntry() == entries.lastBegun()) {
      files.Discard(verdict.damagedEntry());
    }
  }
  return outcome;
}

}  // namespace launcher
