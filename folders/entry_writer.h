// The unpacked entries as files of the held product folder, written through the file layer
// (file_layer.h) like everything else in it: no entry is opened by path, nothing is reached
// through a link. Portable: tested natively on a stand-in layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/byte_io.h"
#include "archive/entry_name.h"
#include "folders/file_layer.h"
#include "win32/fixed_text.h"

namespace folders {

// ANSI to UTF-16 as win32::ConvertAnsiToWide: the characters written, 0 when it does not fit.
using AnsiToWide = std::size_t (*)(std::string_view text, wchar_t* out, std::size_t capacity);

// The first file that could not be created or fully written, and the system's error for it;
// empty (error 0) while every entry went out whole.
struct WriteFailure {
  win32::PathText path;
  std::uint32_t error = 0;
  explicit operator bool() const { return error != 0; }
};

// Writes each entry as a file of the held folder. One output file is open for writing at a
// time, from Begin to End; from End until the process ends (or LetGo) it stays open for
// reading, shared for reading only, so nobody can change, replace or remove it before
// setup.exe has started, while Windows still starts a program from it.
//
// An entry replaces whatever has its name: the file this writer wrote for it before (a name the
// archive carries twice) is let go of first; then what is there is opened as itself and
// deleted, a link of any kind (never followed, its target untouched) and a read-only, hidden or
// system file alike. A real folder of the name fails the entry, nothing in it touched. The new
// file is made, never opened, so anything that appeared under the name since is refused rather
// than written through; at End it is reopened for holding, and must be the same file.
//
// The first file that cannot be created (no rights, a path past MAX_PATH, a folder of that
// name, a file in use) or not fully written (a full disk) is deleted again and kept as the
// failure; the writer then writes nothing more and says it has Failed(), so the walk ends.
class EntryWriter final : public archive::EntrySink {
 public:
  EntryWriter(FileLayer& layer, AnsiToWide toWide) : layer_(layer), toWide_(toWide) {}
  // The held files stay open: only the list of them goes.
  ~EntryWriter() override;
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  // Writes from now on into the held `folder`, whose path is `folderPath` (the failure names
  // files by it), after letting go of what it held; with no failure.
  void WriteInto(Node folder, std::string_view folderPath);

  void Begin(std::string_view name) override;
  void Write(const std::uint8_t* data, std::size_t size) override;
  void End() override;
  bool Failed() const override { return static_cast<bool>(failure_); }

  const WriteFailure& failure() const { return failure_; }
  // Whether an entry of the cleaned `name` was written whole and its file is held now.
  bool Wrote(std::string_view name) const {
    return *const_cast<EntryWriter*>(this)->Find(name) != nullptr;  // Find only looks
  }
  // Removes the file written for `name` (a damaged entry's, an installer that must not run):
  // lets go of it, and deletes what has the name only if it is still that file.
  void Discard(std::string_view name);
  // Closes every held file, so that another process may replace them.
  void LetGo();

 private:
  struct Held {
    Node node;
    std::uint64_t identity;
    archive::EntryName name;
    Held* next;
  };

  void Fail(std::uint32_t error);
  std::uint32_t RemoveEarlier();
  void Keep(Node node, std::uint64_t identity);
  // The link that leads to the held file of `name` (null at the end of the list when none).
  Held** Find(std::string_view name);
  void Release(Held** link);
  void RemoveOwn(std::wstring_view name, std::uint64_t identity);

  FileLayer& layer_;
  const AnsiToWide toWide_;
  Node folder_ = 0;
  win32::PathText folderPath_;
  // The entry in progress: its cleaned name, and that name in the folder.
  archive::EntryName entry_;
  EntryName name_;
  Node writing_ = 0;
  WriteFailure failure_;
  Held* held_ = nullptr;  // a list on the heap: a payload may carry any number of files
};

}  // namespace folders
