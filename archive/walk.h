// The walk over an archive's records: from the layout decision to the end of the record loop.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/byte_io.h"
#include "archive/decoder.h"
#include "archive/format.h"

namespace archive {

// Unpacks every entry of `archive` into `entries`, reporting each change of the whole
// percentage to `progress` (never 0 %).
//
// The first byte decides the layout (0x02: layout 2, anything else or an empty archive:
// layout 1); records follow one another from offset 0. Each record's name is trimmed
// (TrimEntryName) and upper-cased by the sink (EntrySink::UpperCase). Entries whose cleaned
// name is a plain file name (IsPlainFileName) go to `entries` as Begin(name), the decoded
// bytes, End(). The others, such as "..\x.dll" or
// "C:X", are skipped without a word: their stream is decoded into nothing, so the progress
// counting runs on exactly as if they were written.
//
// A damaged archive never makes the walk misbehave; it ends:
// - after a read that delivered fewer bytes than asked for (a truncated archive: the entry in
//   progress gets what its delivered bytes decode to; a short header or name read leaves NUL
//   bytes in the name, so that record is skipped);
// - when the next record position is not below the archive's length;
// - when the next record position is not beyond the current record's offset (a layout-1 end
//   position at or below the record, or a layout-2 compressed size negative enough to point
//   back): the entry of that record is still handled, then the walk stops instead of going
//   round the same records without end;
// - after any record, its name skipped or not, once the sink has Failed().
// Sizes are read as signed 32-bit values; positions are computed in 64 bits, so no size can
// make them wrap.
void WalkArchive(ByteSource& archive, EntrySink& entries, ProgressReport& progress);

// Why a walk ended, for callers that tell sound archives from damaged ones.
enum class WalkEnd {
  kEndOfArchive,  // the last record ended exactly at the archive's end, or it was empty
  kShortRead,     // a read came up short
  kPastEnd,       // a record claimed data beyond the archive's end
  kNotForward,    // a record's next position did not lie beyond its own offset
  kSinkFailed,    // the sink could write no more
};

// One record as the walk saw it, after its entry was handled.
struct WalkRecord {
  Layout layout = Layout::kHeader20;
  int32_t recordPos = 0;
  std::string_view storedName;  // the name bytes as the record holds them
  std::string_view name;        // cleaned
  bool written = false;         // the name was a plain file name, so the entry went out
  int64_t dataStart = 0;
  int64_t dataEnd = 0;
  int32_t storedSize = 0;  // layout 2's uncompressed size field (not used by the walk); 0 in layout 1
  EntryOutcome outcome;
};

// Sees every record and the end of the walk; the packer's list and extract commands use it.
class WalkObserver {
 public:
  virtual ~WalkObserver() = default;
  virtual void Record(const WalkRecord& record) = 0;
  virtual void Ended(WalkEnd how) = 0;
};

// WalkArchive, telling `observer` about every record and how the walk ended.
void WalkArchive(ByteSource& archive, EntrySink& entries, ProgressReport& progress,
                 WalkObserver& observer);

// The layout decision: seeks to 0 and reads one byte; 0x02 means layout 2, anything else, or
// no byte at all, layout 1.
Layout DecideLayout(ByteSource& archive);

// Reads a layout-1 end position field: blanks, tabs, carriage returns and line feeds are
// skipped, then an optional sign and the digits up to the first other character. No digits
// read as 0.
int64_t ParseEndPosition(std::string_view field);

}  // namespace archive
