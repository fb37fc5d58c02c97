// The packer's file layer: whole input files, the archive as a ByteSource, a folder as an
// EntrySink, and writing an archive so that a failure leaves no half-written file. One
// interface, two implementations: host_files_posix.cpp, and host_files_win.cpp for eekpack.exe.
//
// Paths are byte strings as the command line gives them: on Windows in the ANSI code page
// (converted to UTF-16 only at the system's calls), where a backslash separates folders as "/"
// does.
// Messages end with the system's own reason (strerror, FormatMessage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_io.h"

namespace cli {

// Reads a regular file of at most INT32_MAX bytes. On failure `error` says why, in words
// that follow the path ("cannot read x: No such file or directory").
bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The regular files directly inside `folder` (subfolders and what is in them are not), as
// "folder/name" paths in the byte order of their names, so that the result does not depend on
// the order the folder lists them in. On Windows a separator that ends `folder` is not doubled,
// and a name the ANSI code page cannot spell is an error rather than a file silently renamed.
bool ListFolderFiles(const std::string& folder, std::vector<std::string>& paths, std::string& error);

// The folder this program was started from ("" when it cannot be told).
std::string ProgramFolder();

// Where the file name in `path` begins: after its last "/" (on Windows, its last "/" or
// backslash, never the second byte of a double-byte character), else 0.
std::size_t NameStart(const std::string& path);

// The size of a regular file, for progress counts; 0 when it cannot be told.
std::uint64_t FileSize(const std::string& path);

// Writes `bytes` to a new file beside `path` and renames it over `path`.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string& error);

// An archive file open for reading.
class FileSource final : public archive::ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const std::string& path, std::string& error);
  int32_t Read(std::uint8_t* dest, int32_t count) override;
  void Seek(int32_t offset) override;
  int32_t Length() override;
  // The file's length did not fit the format's signed 32-bit sizes.
  bool TooLarge();

 private:
#ifdef _WIN32
  void* file_ = reinterpret_cast<void*>(std::intptr_t{-1});  // a HANDLE; INVALID_HANDLE_VALUE
#else
  int fd_ = -1;
#endif
};

// Writes each entry as DIR/NAME, replacing an earlier file of that name (a symbolic link of
// that name is replaced, never followed; so is a read-only file). Failures are kept, not fatal:
// the walk goes on, as the launcher's does, and the caller reports them at the end. On Windows
// an entry goes to a new file that replaces DIR/NAME once whole, so a failed one leaves the
// earlier file as it was.
class FolderSink final : public archive::EntrySink {
 public:
  explicit FolderSink(std::string folder) : folder_(std::move(folder)) {}
  ~FolderSink() override;
  FolderSink(const FolderSink&) = delete;
  FolderSink& operator=(const FolderSink&) = delete;

  void Begin(std::string_view name) override;
  void Write(const std::uint8_t* data, std::size_t size) override;
  void End() override;

  const std::vector<std::string>& errors() const { return errors_; }

 private:
  // Keeps "WHAT DIR/NAME: the system's reason" for the entry's first failure.
  void Fail(const char* what);

  std::string folder_;
  std::string path_;
#ifdef _WIN32
  void* file_ = reinterpret_cast<void*>(std::intptr_t{-1});  // a HANDLE; INVALID_HANDLE_VALUE
  std::wstring temp_;  // the entry's new file beside path_
#else
  int fd_ = -1;
#endif
  bool failed_ = false;
  std::vector<std::string> errors_;
};

// Makes `folder` unless it exists as a folder already.
bool EnsureFolder(const std::string& folder, std::string& error);

}  // namespace cli
