// The Win32 file layer of the unpacking: an open file as the walk's byte source, and the
// destination folder as its entry sink.
#pragma once

#include <windows.h>

#include <string_view>

#include "archive/byte_io.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

// Opens `path` for raw byte access: reading and writing, not shared, created when missing; if
// that fails, the same open for reading only. Returns an empty owner when both fail.
win32::UniqueFile OpenRawFile(std::string_view path);

// An open archive file. Reads and seeks that fail have no effect: a failed read delivers 0.
class ArchiveFile final : public archive::ByteSource {
 public:
  explicit ArchiveFile(HANDLE file) : file_(file) {}
  int32_t Read(std::uint8_t* dest, int32_t count) override;
  void Seek(int32_t offset) override;
  int32_t Length() override;

 private:
  HANDLE file_;
};

// Writes each entry as a file of the destination folder, replacing an earlier file of its
// name. One output file is open at a time, from Begin to End. An entry whose path does not
// fit the path buffer is not written.
class EntryFiles final : public archive::EntrySink {
 public:
  explicit EntryFiles(std::string_view destinationFolder) : destinationFolder_(destinationFolder) {}
  void Begin(std::string_view name) override;
  void Write(const std::uint8_t* data, std::size_t size) override;
  void End() override;
  // CharUpperBuffA: the machine's code page decides, as for every other name it writes.
  void UpperCase(char* name, std::size_t length) override;

 private:
  win32::PathText destinationFolder_;
  win32::UniqueFile output_;
};

}  // namespace launcher
