#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/walk.h"
#include "tools/commands.h"
#include "tools/files.h"
#include "tools/terminal_progress.h"

namespace tools {

using namespace archive;

namespace {

// Names may hold any byte; the terminal sees escapes for what it cannot show.
std::string Printable(std::string_view name) {
  std::string text;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      text += escape;
    } else {
      text += c;
    }
  }
  return text;
}

// Collects what a walk saw: the first sign of damage, and the entries it skipped. With
// `listing` set, it prints a line per record.
class Findings final : public archive::WalkObserver {
 public:
  explicit Findings(bool listing) : listing_(listing) {}

  void Record(const WalkRecord& record) override {
    const std::string name = Printable(record.name);
    if (listing_) {
      std::printf("%s\t%" PRId64 "\t%" PRId64 "%s\n", name.c_str(),
                  record.dataEnd - record.dataStart, record.outcome.decodedBytes,
                  record.written ? "" : "\t(skipped: not a plain file name)");
    } else if (!record.written) {
      skipped.push_back(name);
    }
    if (record.outcome.shortRead) Damage(name + " is cut short (truncated archive?)");
    if (record.outcome.malformed) Damage("the stream of " + name + " is malformed");
    if (record.layout == Layout::kHeader10 && record.outcome.decodedBytes != record.storedSize) {
      Damage(name + " decodes to " + std::to_string(record.outcome.decodedBytes) +
             " bytes, its header says " + std::to_string(record.storedSize));
    }
  }

  void Ended(WalkEnd how) override {
    switch (how) {
      case WalkEnd::kEndOfArchive: break;
      case WalkEnd::kShortRead:
      case WalkEnd::kPastEnd: Damage("it ends in the middle of a record (truncated?)"); break;
      case WalkEnd::kNotForward: Damage("a record points back to itself or before it"); break;
      case WalkEnd::kSinkFailed: break;  // the folder sink goes on after failures; never here
    }
  }

  std::string damage;
  std::vector<std::string> skipped;

 private:
  void Damage(const std::string& what) {
    if (damage.empty()) damage = what;
  }

  bool listing_;
};

class NoProgress final : public archive::ProgressReport {
 public:
  void PercentChanged(int32_t) override {}
};

class NoEntries final : public EntrySink {
 public:
  void Begin(std::string_view) override {}
  void Write(const std::uint8_t*, std::size_t) override {}
  void End() override {}
};

bool OpenArchive(const std::string& path, FileSource& source) {
  std::string error;
  if (!source.Open(path, error)) {
    ReportError(error);
    return false;
  }
  if (source.TooLarge()) {
    ReportError(path + " is larger than 2147483647 bytes, the most an archive can hold");
    return false;
  }
  return true;
}

}  // namespace

int ListArchive(const std::string& path) {
  FileSource source;
  if (!OpenArchive(path, source)) return 1;
  std::printf("layout %d\n", static_cast<int>(DecideLayout(source)));
  Findings findings(true);
  NoEntries nowhere;
  NoProgress quiet;
  WalkArchive(source, nowhere, quiet, findings);
  std::fflush(stdout);
  if (!findings.damage.empty()) {
    ReportError("damaged archive " + path + ": " + findings.damage);
    return 1;
  }
  return 0;
}

int ExtractArchive(const std::string& path, const std::string& folder) {
  FileSource source;
  if (!OpenArchive(path, source)) return 1;
  std::string error;
  if (!EnsureFolder(folder, error)) {
    ReportError(error);
    return 1;
  }
  Findings findings(false);
  FolderSink sink(folder);
  TerminalProgress bar;
  WalkArchive(source, sink, bar, findings);
  bar.Finish();

  int status = 0;
  for (const std::string& name : findings.skipped)
    std::fprintf(stderr, "eekpack: skipped %s: not a plain file name\n", name.c_str());
  for (const std::string& failure : sink.errors()) {
    ReportError(failure);
    status = 1;
  }
  if (!findings.damage.empty()) {
    ReportError("damaged archive " + path + ": " + findings.damage);
    status = 1;
  }
  return status;
}

}  // namespace tools
