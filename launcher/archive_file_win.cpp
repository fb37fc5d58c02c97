#include "launcher/archive_file_win.h"

#include "launcher/output_path.h"
#include "fileops/file_listing.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/upper_case.h"

namespace launcher {

win32::UniqueFile OpenRawFile(std::string_view path) {
  const win32::WidePath wide = win32::AnsiToWide(path);
  if (wide.empty()) return {};
  win32::QuietErrorMode quiet;
  win32::UniqueFile file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    file.reset(::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  return file;
}

int32_t ArchiveFile::Read(std::uint8_t* dest, int32_t count) {
  if (count <= 0) return 0;
  DWORD delivered = 0;
  win32::QuietErrorMode quiet;
  if (!::ReadFile(file_, dest, static_cast<DWORD>(count), &delivered, nullptr)) return 0;
  return static_cast<int32_t>(delivered);
}

void ArchiveFile::Seek(int32_t offset) {
  if (offset < 0) return;
  win32::QuietErrorMode quiet;
  ::SetFilePointer(file_, offset, nullptr, FILE_BEGIN);
}

int32_t ArchiveFile::Length() {
  win32::QuietErrorMode quiet;
  const DWORD size = ::GetFileSize(file_, nullptr);
  // The container's offsets are signed 32-bit: a larger (or unknown) size reads as the largest.
  if (size == INVALID_FILE_SIZE || size > 0x7FFFFFFF) return size == INVALID_FILE_SIZE ? 0 : 0x7FFFFFFF;
  return static_cast<int32_t>(size);
}

namespace {

bool HasContent(HANDLE file) {
  DWORD high = 0;
  const DWORD low = ::GetFileSize(file, &high);
  return (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) && (low != 0 || high != 0);
}

}  // namespace

void EntryFiles::Begin(std::string_view name) {
  const win32::PathText path = OutputPath(destinationFolder_.view(), name);
  if (path.cut()) return;
  output_ = OpenRawFile(path.view());
  if (!output_ || !HasContent(output_.get())) return;  // a new or empty file is written as it is

  // An earlier file with content is deleted and opened anew.
  output_.reset();
  fileops::DeleteMatchingFiles(path.view());
  output_ = OpenRawFile(path.view());
  if (!output_ || !HasContent(output_.get())) return;

  // It could not be deleted (hidden or system; a read-only one does not open for writing):
  // rather than keep a stale file under the entry's name, it is overwritten from the start and
  // cut to the new length.
  win32::QuietErrorMode quiet;
  ::SetFilePointer(output_.get(), 0, nullptr, FILE_BEGIN);
  ::SetEndOfFile(output_.get());
}

void EntryFiles::Write(const std::uint8_t* data, std::size_t size) {
  if (!output_ || size == 0) return;
  DWORD written = 0;
  win32::QuietErrorMode quiet;
  ::WriteFile(output_.get(), data, static_cast<DWORD>(size), &written, nullptr);
}

void EntryFiles::End() { output_.reset(); }

void EntryFiles::UpperCase(char* name, std::size_t length) { win32::UpperCaseAnsi(name, length); }

}  // namespace launcher
