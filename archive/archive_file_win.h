// The Win32 file layer of the unpacking: an open file as the walk's byte source, and the
// destination folder as its entry sink.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "archive/byte_io.h"
#include "win32/handle.h"

namespace eek {

// Opens `path` for raw byte access: reading and writing, not shared, created when missing; if
// that fails, the same open for reading only. Returns an empty owner when both fail.
win32::UniqueFile OpenRawFile(std::string_view path);

// An open archive file. Reads and seeks that fail have no effect: a failed read delivers 0.
class ArchiveFile final : public ByteSource {
 public:
  explicit ArchiveFile(HANDLE file) : file_(file) {}
  int32_t Read(std::uint8_t* dest, int32_t count) override;
  void Seek(int32_t offset) override;
  int32_t Length() override;

 private:
  HANDLE file_;
};

// Writes each entry as a file of the destination folder, replacing an earlier file of its
// name. One output file is open at a time, from Begin to End.
class EntryFiles final : public EntrySink {
 public:
  explicit EntryFiles(std::string_view destinationFolder) : destinationFolder_(destinationFolder) {}
  void Begin(std::string_view name) override;
  void Write(const std::uint8_t* data, std::size_t size) override;
  void End() override;

 private:
  std::string destinationFolder_;
  win32::UniqueFile output_;
};

}  // namespace eek
