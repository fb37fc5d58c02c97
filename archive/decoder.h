// The entry decoder: one record's compressed stream into decoded bytes.
#pragma once

#include <cstdint>

#include "archive/byte_io.h"
#include "archive/walk_state.h"

namespace archive {

// What decoding one entry came to. The walk itself reports nothing; the packer uses this to
// tell a damaged archive from a sound one.
struct EntryOutcome {
  int64_t decodedBytes = 0;
  // Some token yielded fewer bytes than it names: a copy from position 0 or reaching past the
  // history, a literal run or a copy's position byte cut off by the end of the pending bytes.
  bool malformed = false;
  // A read of the range delivered fewer bytes than asked for (truncated or unreadable archive).
  bool shortRead = false;
};

// Decodes the compressed range [dataStart, dataEnd) of `archive`, whose read position stands
// at dataStart, and hands the decoded bytes to `out` in order (null: they go nowhere, and the
// counting runs the same). Begin and End are the caller's; `out` sees only Write calls, each
// but the last carrying more than 2048 and at most 2048 + 131 bytes, and no empty ones.
//
// The range is read in chunks of at most 2048 bytes; after each, `progress` counts the chunk
// at the size asked for and reports a changed percentage. A read that comes up short adds
// only what it delivered to the pending bytes; when nothing is pending the entry ends, so a
// truncated archive ends the entry with what its delivered bytes decode to.
//
// Damaged streams are data, not errors: a copy from position 0 yields nothing, one reaching
// past the history is cut short at its end, a literal run cut off by the end of the pending
// bytes yields what is there, and a copy whose position byte is missing yields nothing.
// Decoding then goes on with the next byte. An empty or backwards range (dataEnd <= dataStart)
// reads nothing and decodes to nothing. Memory use is a few kilobytes whatever the entry.
EntryOutcome ExtractEntry(ArchiveReader& archive, int64_t dataStart, int64_t dataEnd,
                          EntrySink* out, WalkProgress& progress);

}  // namespace archive
