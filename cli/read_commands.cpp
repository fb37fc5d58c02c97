// eekpack list, extract and verify: an archive walked with the launcher's own walk and decoder,
// whether it is a bare .eek file or the payload of an installer.
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "archive/memory_io.h"
#include "archive/payload_digest.h"
#include "archive/walk.h"
#include "archive/walk_verdict.h"
#include "cli/commands.h"
#include "cli/host_files.h"
#include "cli/installer_payload.h"
#include "pe/pe_image.h"
#include "cli/terminal_progress.h"

namespace cli {

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
// `listing` set, it prints a line per record. Damage is what the launcher refuses (WalkVerdict),
// and besides, a layout-2 entry that decodes to another size than its header says: the launcher
// does not read that field, so it changes nothing there, but an archive that lies in it was not
// made by this packer.
class Findings final : public archive::WalkObserver {
 public:
  explicit Findings(bool listing) : listing_(listing) {}

  void Record(const WalkRecord& record) override {
    ++entries;
    unpacked += record.outcome.decodedBytes;
    const std::string name = Printable(record.name);
    if (listing_) {
      std::printf("%s\t%" PRId64 "\t%" PRId64 "%s\n", name.c_str(),
                  record.dataEnd - record.dataStart, record.outcome.decodedBytes,
                  record.written ? "" : "\t(skipped: not a plain file name)");
    } else if (!record.written) {
      skipped.push_back(name);
    }
    const bool wasDamaged = verdict_.damaged();
    verdict_.Record(record);
    if (!wasDamaged && verdict_.damaged()) {
      Damage(record.outcome.shortRead ? name + " is cut short (truncated archive?)"
                                      : "the stream of " + name + " is malformed");
    }
    if (record.layout == Layout::kHeader10 && record.outcome.decodedBytes != record.storedSize) {
      Damage(name + " decodes to " + std::to_string(record.outcome.decodedBytes) +
             " bytes, its header says " + std::to_string(record.storedSize));
    }
  }

  void Ended(WalkEnd how) override {
    verdict_.Ended(how);
    if (!verdict_.damaged()) return;
    Damage(how == WalkEnd::kNotForward ? "a record points back to itself or before it"
                                       : "it ends in the middle of a record (truncated?)");
  }

  std::string damage;
  std::vector<std::string> skipped;
  int entries = 0;
  std::int64_t unpacked = 0;

 private:
  void Damage(const std::string& what) {
    if (damage.empty()) damage = what;
  }

  bool listing_;
  WalkVerdict verdict_;
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

// The archive a command reads: a bare .eek file, read as it is walked, or the payload of an
// installer, read out of its resource. A file is an installer when it starts as a Windows
// program does ("MZ", and "PE\0\0" where that header points), whatever its name; "MZ" alone
// may begin a layout-1 archive whose first name starts so.
class ArchiveInput {
 public:
  // Opens `path`; false after reporting why not, in one line.
  bool Open(const std::string& path) {
    path_ = path;
    std::string error;
    if (!file_.Open(path, error)) return Refuse(error);
    std::uint8_t start[2] = {};
    file_.Seek(0);
    if (file_.Read(start, 2) == 2 && start[0] == 'M' && start[1] == 'Z') {
      std::vector<std::uint8_t> bytes;
      if (!ReadInputFile(path, bytes, error)) return Refuse(error);
      if (pe::HasPeSignature(bytes)) {
        installer_ = true;
        if (!ReadInstallerPayload(std::move(bytes), payload_, error)) return Refuse(path + ": " + error);
        memory_.emplace(payload_.archive);
        return true;
      }
    }
    if (file_.TooLarge())
      return Refuse(path + " is larger than 2147483647 bytes, the most an archive can hold");
    file_.Seek(0);
    return true;
  }

  archive::ByteSource& source() {
    if (memory_) return *memory_;
    return file_;
  }
  bool installer() const { return installer_; }
  const InstallerPayload& payload() const { return payload_; }
  const std::string& path() const { return path_; }

 private:
  static bool Refuse(const std::string& error) {
    ReportError(error);
    return false;
  }

  std::string path_;
  FileSource file_;
  bool installer_ = false;
  InstallerPayload payload_;
  std::optional<archive::MemorySource> memory_;
};

// Why an installer's payload does not match its digest record, or nothing (no record: nothing
// to check).
std::string DigestProblem(const ArchiveInput& input) {
  const InstallerPayload& payload = input.payload();
  if (!payload.hasDigest) return {};
  const std::optional<PayloadDigest> stored = ReadDigestRecord(payload.digestRecord);
  if (!stored)
    return "damaged payload digest record in " + input.path() + " (not the 12-byte \"EKD1\" record)";
  const PayloadDigest actual = DigestOf(payload.archive);
  if (actual == *stored) return {};
  char numbers[160];
  std::snprintf(numbers, sizeof numbers,
                ": the payload is %" PRIu32 " bytes of CRC-32 %08" PRIX32 ", its digest says %" PRIu32
                " bytes of CRC-32 %08" PRIX32,
                actual.length, actual.crc, stored->length, stored->crc);
  return "payload digest mismatch in " + input.path() + numbers;
}

}  // namespace

int ListArchive(const std::string& path) {
  ArchiveInput input;
  if (!input.Open(path)) return 1;
  ByteSource& source = input.source();
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
  ArchiveInput input;
  if (!input.Open(path)) return 1;
  std::string error;
  if (!EnsureFolder(folder, error)) {
    ReportError(error);
    return 1;
  }
  Findings findings(false);
  FolderSink sink(folder);
  TerminalProgress bar;
  WalkArchive(input.source(), sink, bar, findings);
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

int VerifyArchive(const std::string& path) {
  ArchiveInput input;
  if (!input.Open(path)) return 1;
  ByteSource& source = input.source();
  if (source.Length() == 0) {
    const char* why = input.installer() ? "its payload resource is empty (a launcher, not an installer)"
                                        : "the archive is empty";
    ReportError("no payload in " + path + ": " + why);
    return 1;
  }
  if (!input.installer()) {
    std::printf("%s: a bare archive, with no payload digest: the archive alone is judged\n", path.c_str());
  } else if (!input.payload().hasDigest) {
    std::printf("%s: no payload digest in this installer: the archive alone is judged\n", path.c_str());
  } else if (const std::string problem = DigestProblem(input); !problem.empty()) {
    ReportError(problem);
    return 1;
  }
  Findings findings(false);
  NoEntries nowhere;
  NoProgress quiet;
  WalkArchive(source, nowhere, quiet, findings);
  if (!findings.damage.empty()) {
    ReportError("damaged archive " + path + ": " + findings.damage);
    return 1;
  }
  std::printf("%s: sound: %d %s, %" PRId64 " bytes unpacked%s\n", path.c_str(), findings.entries,
              findings.entries == 1 ? "entry" : "entries", findings.unpacked,
              input.installer() && input.payload().hasDigest ? ", payload digest matches" : "");
  return 0;
}

}  // namespace cli
