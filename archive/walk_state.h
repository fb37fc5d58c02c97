// The state one unpacking run keeps while it walks the records, shared by the walk and the
// entry decoder: the archive with its read position, and the progress counters.
#pragma once

#include <cstdint>

#include "archive/byte_io.h"

namespace archive {

// The archive as the walk reads it. Every read goes through here so that the walk can tell
// whether the last one, wherever it was made, delivered fewer bytes than asked for.
class ArchiveReader {
 public:
  explicit ArchiveReader(ByteSource& source) : source_(source) {}

  // Reads up to `count` bytes into `dest`. A source that claims more than was asked, or a
  // negative number, is taken as having delivered `count` or 0 bytes.
  int32_t Read(std::uint8_t* dest, int32_t count);
  void Seek(int32_t offset) { source_.Seek(offset); }
  int32_t Length() { return source_.Length(); }
  bool LastReadShort() const { return lastReadShort_; }

 private:
  ByteSource& source_;
  bool lastReadShort_ = false;
};

// `totalBytes`, `bytesCounted` and `lastPercent` of the run; they go on across entries.
class WalkProgress {
 public:
  WalkProgress(int32_t totalBytes, ProgressReport& report)
      : totalBytes_(totalBytes), report_(report) {}

  // bytesCounted += n. It stops at INT32_MAX rather than wrapping: only a damaged archive,
  // whose short reads are counted at the size asked for, could count that far.
  void Count(int32_t n);
  // Computes the percentage and reports it when it differs from lastPercent.
  void Update();

  int32_t totalBytes() const { return totalBytes_; }
  int32_t bytesCounted() const { return bytesCounted_; }
  int32_t lastPercent() const { return lastPercent_; }

 private:
  int32_t totalBytes_;
  int32_t bytesCounted_ = 0;
  int32_t lastPercent_ = 0;
  ProgressReport& report_;
};

}  // namespace archive
