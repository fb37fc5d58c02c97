#include "folders/entry_files_win.h"

#include "fileops/file_listing.h"
#include "folders/output_path.h"
#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/upper_case.h"

namespace folders {

namespace {

// Opens `path` for raw byte access: reading and writing, not shared, created when missing.
win32::UniqueFile OpenForWriting(const wchar_t* path) {
  win32::QuietErrorMode quiet;
  return win32::UniqueFile(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool HasContent(HANDLE file) {
  DWORD high = 0;
  const DWORD low = ::GetFileSize(file, &high);
  return (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) && (low != 0 || high != 0);
}

// A read-only file under the entry's name (left by an earlier run, or planted) would otherwise
// stay, and be what the shortcut and the launch start.
void DropReadOnly(const wchar_t* path) {
  win32::QuietErrorMode quiet;
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return;
  }
  const DWORD rest = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
  ::SetFileAttributesW(path, rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

void EntryFiles::Begin(std::string_view name) {
  if (failure_) return;
  path_ = OutputPath(destinationFolder_.view(), name);
  const win32::WidePath wide = win32::AnsiToWide(path_.view());
  if (path_.cut() || wide.empty() || wide.size() >= MAX_PATH) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return;
  }
  DropReadOnly(wide.c_str());
  output_ = OpenForWriting(wide.c_str());
  if (!output_ && ::GetLastError() == ERROR_SHARING_VIOLATION && ReleaseHeld(wide.c_str())) {
    DropReadOnly(wide.c_str());
    output_ = OpenForWriting(wide.c_str());
  }
  if (!output_) {
    Fail(::GetLastError());
    return;
  }
  if (!HasContent(output_.get())) return;  // a new or empty file is written as it is

  // An earlier file with content is deleted and opened anew.
  output_.reset();
  fileops::DeleteMatchingFiles(path_.view());
  output_ = OpenForWriting(wide.c_str());
  if (!output_) {
    Fail(::GetLastError());
    return;
  }
  if (!HasContent(output_.get())) return;

  // It could not be deleted (hidden or system): rather than keep a stale file under the
  // entry's name, it is overwritten from the start and cut to the new length.
  win32::QuietErrorMode quiet;
  ::SetFilePointer(output_.get(), 0, nullptr, FILE_BEGIN);
  if (!::SetEndOfFile(output_.get())) Fail(::GetLastError());
}

void EntryFiles::Write(const std::uint8_t* data, std::size_t size) {
  if (!output_ || size == 0) return;
  DWORD written = 0;
  BOOL ok;
  {
    win32::QuietErrorMode quiet;
    ok = ::WriteFile(output_.get(), data, static_cast<DWORD>(size), &written, nullptr);
  }
  // A write that stops short without an error has run out of room all the same.
  if (!ok) {
    Fail(::GetLastError());
  } else if (written != size) {
    Fail(ERROR_DISK_FULL);
  }
}

void EntryFiles::End() {
  if (!output_) return;
  // Written, the file is held open until the process ends, after setup.exe is started: for
  // reading and sharing reading only, so that nobody can change, replace or remove it in
  // between, while Windows still starts a program from it. The writing handle shares nothing,
  // so the file is reopened; the same file, or the run stops.
  BY_HANDLE_FILE_INFORMATION written;
  const bool known = ::GetFileInformationByHandle(output_.get(), &written) != 0;
  output_.reset();
  win32::QuietErrorMode quiet;
  win32::UniqueFile held(::CreateFileW(win32::AnsiToWide(path_.view()).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held) {
    Fail(::GetLastError());
    return;
  }
  BY_HANDLE_FILE_INFORMATION reopened;
  if (!known || !::GetFileInformationByHandle(held.get(), &reopened) ||
      reopened.dwVolumeSerialNumber != written.dwVolumeSerialNumber ||
      reopened.nFileIndexHigh != written.nFileIndexHigh || reopened.nFileIndexLow != written.nFileIndexLow) {
    Fail(ERROR_FILE_INVALID);
    return;
  }
  Hold(held.release());
}

EntryFiles::~EntryFiles() {
  if (held_ != nullptr) ::HeapFree(::GetProcessHeap(), 0, held_);
}

void EntryFiles::Hold(HANDLE file) {
  if (heldCount_ == heldRoom_) {
    // Without room the file stays open all the same, only out of reach of ReleaseHeld.
    const std::size_t room = heldRoom_ != 0 ? 2 * heldRoom_ : 64;
    auto* grown = static_cast<HANDLE*>(::HeapAlloc(::GetProcessHeap(), 0, room * sizeof(HANDLE)));
    if (grown == nullptr) return;
    for (std::size_t i = 0; i < heldCount_; ++i) grown[i] = held_[i];
    if (held_ != nullptr) ::HeapFree(::GetProcessHeap(), 0, held_);
    held_ = grown;
    heldRoom_ = room;
  }
  held_[heldCount_++] = file;
}

bool EntryFiles::ReleaseHeld(const wchar_t* path) {
  // Reading attributes is never refused for sharing.
  win32::UniqueFile file(::CreateFileW(path, FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION named;
  if (!file || !::GetFileInformationByHandle(file.get(), &named)) return false;
  for (std::size_t i = 0; i < heldCount_; ++i) {
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(held_[i], &info) && info.nFileIndexLow == named.nFileIndexLow &&
        info.nFileIndexHigh == named.nFileIndexHigh &&
        info.dwVolumeSerialNumber == named.dwVolumeSerialNumber) {
      ::CloseHandle(held_[i]);
      held_[i] = held_[--heldCount_];
      return true;
    }
  }
  return false;
}

void EntryFiles::Discard(std::string_view name) {
  const win32::WidePath path = win32::AnsiToWide(OutputPath(destinationFolder_.view(), name).view());
  win32::QuietErrorMode quiet;
  ReleaseHeld(path.c_str());
  ::DeleteFileW(path.c_str());
}

void EntryFiles::UpperCase(char* name, std::size_t length) { win32::UpperCaseAnsi(name, length); }

void EntryFiles::Fail(DWORD error) {
  failure_.path = path_;
  failure_.error = error != 0 ? error : ERROR_WRITE_FAULT;
  if (!output_) return;
  // A cut-off file is no installer: it goes, so that nothing can start it.
  output_.reset();
  win32::QuietErrorMode quiet;
  ::DeleteFileW(win32::AnsiToWide(path_.view()).c_str());
}

}  // namespace folders
