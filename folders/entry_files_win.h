// The Win32 file layer of the unpacking: the product folder as the walk's entry sink.
#pragma once

#include <windows.h>

#include <string_view>

#include "archive/byte_io.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace folders {

// The first product-folder file that could not be created or fully written, and the system's
// error for it; empty (error 0) while every entry went out whole.
struct WriteFailure {
  win32::PathText path;
  DWORD error = 0;
  explicit operator bool() const { return error != 0; }
};

// Writes each entry as a file of the destination folder, replacing an earlier file of its
// name whatever its attributes. One output file is open for writing at a time, from Begin to
// End; from End until the process ends it stays open for reading, shared for reading only.
//
// The first file that cannot be created (no rights, a name too long for MAX_PATH, a folder of
// that name, a file in use) or not fully written (a full disk) is deleted again and kept as the
// failure; the sink then writes nothing more and says it has Failed(), so the walk ends.
class EntryFiles final : public archive::EntrySink {
 public:
  explicit EntryFiles(std::string_view destinationFolder) : destinationFolder_(destinationFolder) {}
  // The written files stay open: only the list of them goes.
  ~EntryFiles();
  EntryFiles(const EntryFiles&) = delete;
  EntryFiles& operator=(const EntryFiles&) = delete;
  void Begin(std::string_view name) override;
  void Write(const std::uint8_t* data, std::size_t size) override;
  void End() override;
  // CharUpperBuffA: the machine's code page decides, as for every other name it writes.
  void UpperCase(char* name, std::size_t length) override;
  bool Failed() const override { return static_cast<bool>(failure_); }

  const WriteFailure& failure() const { return failure_; }

  // Removes the file written for the entry `name` (one of a damaged archive), letting go of it
  // first.
  void Discard(std::string_view name);

 private:
  void Fail(DWORD error);
  void Hold(HANDLE file);
  // Closes the held handle of the file at `path` (a name the archive carries twice).
  bool ReleaseHeld(const wchar_t* path);

  win32::PathText destinationFolder_;
  win32::PathText path_;
  win32::UniqueFile output_;
  WriteFailure failure_;
  HANDLE* held_ = nullptr;  // on the process heap
  std::size_t heldCount_ = 0;
  std::size_t heldRoom_ = 0;
};

}  // namespace folders
