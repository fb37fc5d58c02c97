#include "launcher/extract_archive.h"

#include "archive/memory_io.h"
#include "archive/walk.h"
#include "archive/walk_verdict.h"
#include "progress/progress_window.h"
#include "progress/progress_window_report.h"
#include "win32/error_mode.h"
#include "win32/upper_case.h"

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
// an archive once it is known to be damaged. Names are upper-cased by CharUpperBuffA: the
// machine's code page decides, as for every other name the launcher writes.
class StopAtDamage final : public archive::EntrySink {
 public:
  StopAtDamage(folders::EntryWriter& files, const archive::WalkVerdict& verdict)
      : files_(files), verdict_(verdict) {}
  void Begin(std::string_view name) override {
    lastBegun_ = win32::PathText(name);
    files_.Begin(name);
  }
  void Write(const std::uint8_t* data, std::size_t size) override { files_.Write(data, size); }
  void End() override { files_.End(); }
  void UpperCase(char* name, std::size_t length) override { win32::UpperCaseAnsi(name, length); }
  bool Failed() const override { return files_.Failed() || verdict_.damaged(); }

  std::string_view lastBegun() const { return lastBegun_.view(); }

 private:
  folders::EntryWriter& files_;
  const archive::WalkVerdict& verdict_;
  win32::PathText lastBegun_;
};

}  // namespace

UnpackOutcome ExtractArchive(HWND parentWindow, std::span<const std::uint8_t> payload,
                             folders::EntryWriter& files) {
  const HWND window = progress::StartProgressWindow(parentWindow);
  // Without a window (0) the unpacking runs all the same; the texts then go nowhere.
  progress::SetProgressText(window, "Extracting Files...");

  archive::MemorySource archive(payload);
  archive::WalkVerdict verdict;
  StopAtDamage entries(files, verdict);
  WindowProgress report;
  // A drive that goes away mid-run fails its writes without a system box.
  win32::QuietErrorMode quiet;
  archive::WalkArchive(archive, entries, report, verdict);

  progress::CloseProgressWindow();

  UnpackOutcome outcome{files.failure(), false, {}, false};
  if (!outcome.failure && verdict.damaged()) {
    outcome.damaged = true;
    outcome.damagedEntry = win32::PathText(verdict.damagedEntry());
    // The damaged entry's file holds what its broken stream decoded to: it goes, so that
    // nothing can start it. A skipped name (one that leaves the folder) was never written.
    if (!verdict.damagedEntry().empty() && verdict.damagedEntry() == entries.lastBegun()) {
      files.Discard(verdict.damagedEntry());
    }
  }
  // Nor is anything runnable left of a run that stops here: the installer written before goes.
  if (outcome.failure || outcome.damaged) files.Discard(kInstallerEntry);
  outcome.wroteInstaller = files.Wrote(kInstallerEntry);
  return outcome;
}

}  // namespace launcher
