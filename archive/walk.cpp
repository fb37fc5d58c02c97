#include "archive/walk.h"

#include <cstring>

#include "archive/entry_name.h"
#include "archive/walk_state.h"

namespace archive {

namespace {

class NoObserver final : public WalkObserver {
 public:
  void Record(const WalkRecord&) override {}
  void Ended(WalkEnd) override {}
};

int32_t LittleEndian32(const std::uint8_t* bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return static_cast<int32_t>(value);
}

// Reads one record's header and name at the archive's read position. The buffers are
// cleared first, so whatever a short read did not deliver reads as NUL bytes.
void ReadHeader(ArchiveReader& archive, WalkRecord& record, WalkProgress& progress,
                std::uint8_t (&nameBytes)[kLayout2LongestName]) {
  std::memset(nameBytes, 0, sizeof nameBytes);
  if (record.layout == Layout::kHeader10) {
    std::uint8_t header[kLayout2HeaderSize] = {};
    archive.Read(header, kLayout2HeaderSize);
    progress.Count(kLayout2HeaderSize);
    const int32_t nameLength = header[1] + 1;
    archive.Read(nameBytes, nameLength);
    record.storedName = std::string_view(reinterpret_cast<const char*>(nameBytes),
                                         static_cast<std::size_t>(nameLength));
    record.dataStart = int64_t{record.recordPos} + kLayout2HeaderSize + nameLength;
    record.dataEnd = record.dataStart + LittleEndian32(header + 2);
    record.storedSize = LittleEndian32(header + 6);
  } else {
    std::uint8_t header[kLayout1HeaderSize] = {};
    archive.Read(header, kLayout1HeaderSize);
    progress.Count(kLayout1HeaderSize);
    std::memcpy(nameBytes, header, kLayout1NameSize);
    record.storedName = std::string_view(reinterpret_cast<const char*>(nameBytes),
                                         static_cast<std::size_t>(kLayout1NameSize));
    record.dataStart = int64_t{record.recordPos} + kLayout1HeaderSize;
    record.dataEnd = ParseEndPosition(std::string_view(
        reinterpret_cast<const char*>(header + kLayout1NameSize), kLayout1EndPosSize));
    record.storedSize = 0;
  }
}

Layout DecideLayout(ArchiveReader& archive) {
  archive.Seek(0);
  std::uint8_t first = 0;
  const bool got = archive.Read(&first, 1) == 1;
  return got && first == kLayout2Marker ? Layout::kHeader10 : Layout::kHeader20;
}

}  // namespace

Layout DecideLayout(ByteSource& source) {
  ArchiveReader archive(source);
  return DecideLayout(archive);
}

int64_t ParseEndPosition(std::string_view field) {
  std::size_t i = 0;
  while (i < field.size() &&
         (field[i] == ' ' || field[i] == '\t' || field[i] == '\r' || field[i] == '\n')) {
    ++i;
  }
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    ++i;
  }
  int64_t value = 0;
  // The field is 8 bytes wide, so the value stays far below the 64-bit range; the bound
  // only keeps a longer field honest.
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9' && value < (int64_t{1} << 40);
       ++i) {
    value = value * 10 + (field[i] - '0');
  }
  return negative ? -value : value;
}

void WalkArchive(ByteSource& archive, EntrySink& entries, ProgressReport& progress) {
  NoObserver none;
  WalkArchive(archive, entries, progress, none);
}

void WalkArchive(ByteSource& source, EntrySink& entries, ProgressReport& report,
                 WalkObserver& observer) {
  ArchiveReader archive(source);

  const Layout layout = DecideLayout(archive);
  const bool gotFirst = !archive.LastReadShort();

  int64_t recordPos = 0;
  WalkProgress progress(archive.Length(), report);
  std::uint8_t nameBytes[kLayout2LongestName];

  for (;;) {
    if (archive.LastReadShort()) {
      const bool empty = !gotFirst && archive.Length() == 0;
      observer.Ended(empty ? WalkEnd::kEndOfArchive : WalkEnd::kShortRead);
      return;
    }
    // recordPos is below the archive's 32-bit length here.
    archive.Seek(static_cast<int32_t>(recordPos));

    WalkRecord record;
    record.layout = layout;
    record.recordPos = static_cast<int32_t>(recordPos);
    ReadHeader(archive, record, progress, nameBytes);
    EntryName name = TrimEntryName(record.storedName, layout);
    entries.UpperCase(name.bytes, name.length);
    record.name = name.view();
    record.written = IsPlainFileName(record.name);

    EntrySink* out = record.written ? &entries : nullptr;
    if (out != nullptr) out->Begin(record.name);
    record.outcome = ExtractEntry(archive, record.dataStart, record.dataEnd, out, progress);
    if (out != nullptr) out->End();
    observer.Record(record);
    // Asked after a skipped name too: a sink that stops at damage (told by the observer) must
    // stop the walk whether or not the damaged record's entry went out.
    if (entries.Failed()) {
      observer.Ended(WalkEnd::kSinkFailed);
      return;
    }

    // The next record starts where this one's data ends.
    const int64_t next = record.dataEnd;
    if (next <= recordPos) {
      observer.Ended(WalkEnd::kNotForward);
      return;
    }
    recordPos = next;
    const int32_t length = archive.Length();
    if (length <= recordPos) {
      if (archive.LastReadShort()) {
        observer.Ended(WalkEnd::kShortRead);
      } else {
        observer.Ended(length == recordPos ? WalkEnd::kEndOfArchive : WalkEnd::kPastEnd);
      }
      return;
    }
  }
}

}  // namespace archive
