// The seam between the archive walk / decoder and a platform's files.
//
// The walk and the decoder are written once against these three small interfaces; the
// launcher plugs in the payload in memory, its Win32 entry files and the progress window, the
// packer its file layer (POSIX or Win32) and a terminal progress bar. Nothing here includes a
// platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/entry_name.h"

namespace archive {

// An open archive: raw byte access with one read position, like a file handle.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `count` bytes at the read position into `dest`, advances the position by what
  // was delivered and returns that number. A failed read or the end of the file delivers
  // fewer bytes (possibly 0); it is never an error for the caller.
  virtual int32_t Read(std::uint8_t* dest, int32_t count) = 0;
  // Moves the read position to `offset` bytes from the start. Failure has no effect.
  virtual void Seek(int32_t offset) = 0;
  // The source's current length in bytes.
  virtual int32_t Length() = 0;
};

// Where the entries of a walk go: one output file at a time.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  // Opens the output file for the cleaned entry name, replacing any earlier file of that name.
  // A failing open is not reported: the writes that follow have no effect.
  virtual void Begin(std::string_view name) = 0;
  // Appends decoded bytes to the open output file.
  virtual void Write(const std::uint8_t* data, std::size_t size) = 0;
  // Closes the output file.
  virtual void End() = 0;
  // Upper-cases a record's trimmed name in place, as the destination's system does, before
  // the walk decides whether it is a plain file name. Code page 1252 unless a sink says
  // otherwise (the launcher asks Windows, so the machine's code page decides).
  virtual void UpperCase(char* name, std::size_t length) { UpperCase1252(name, length); }
  // True once the sink can write no more (a full disk, say): the walk then ends after the
  // entry in progress. A sink that keeps going after failures never says so.
  virtual bool Failed() const { return false; }
};

// Receives the whole percentage of the unpacking each time it changes (never for 0 %).
class ProgressReport {
 public:
  virtual ~ProgressReport() = default;
  virtual void PercentChanged(int32_t percent) = 0;
};

}  // namespace archive
