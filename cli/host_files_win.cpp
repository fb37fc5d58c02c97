// The packer's file layer on Windows, beside host_files_posix.cpp: the same behaviour and messages,
// with paths kept as ANSI code page bytes and converted to UTF-16 only at the wide calls.
#include "cli/host_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <string_view>

#include "win32/ansi.h"
#include "win32/handle.h"
#include "win32/system_error.h"

namespace cli {

using namespace archive;

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<int32_t>::max();
// ReadFile and WriteFile take a DWORD count: larger buffers go in pieces of this size.
constexpr std::size_t kPiece = std::size_t{1} << 24;

HANDLE AsHandle(void* file) { return static_cast<HANDLE>(file); }

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A lead byte of the ANSI code page's double-byte characters: the byte after it may be 0x5C
// and is then no backslash.
bool IsLeadByte(char c) { return ::IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; }

// The system's words for `code` (win32's, without the line break), less the full stop that ends
// them, so that they read like strerror's in "cannot read x: REASON".
std::string Reason(DWORD code) {
  const win32::PathText ansi = win32::WideToAnsi(win32::SystemErrorText(code).view());
  std::string_view text = ansi.view();
  while (!text.empty() && text.back() == '.') text.remove_suffix(1);
  return std::string(text);
}

// "WHAT PATH: the reason for the last error". The code is taken before anything else runs.
std::string Failure(const char* what, const std::string& path) {
  const DWORD code = ::GetLastError();
  return what + (" " + path) + ": " + Reason(code);
}

// One byte gives at most one UTF-16 unit: the conversion fits a buffer of the text's length.
std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(win32::ConvertAnsiToWide(text, wide.data(), wide.size()));
  return wide;
}

// `text` in the ANSI code page. False when a character has no exact form there: the system
// would put "?" or a look-alike in its place, and the path would name another file or none.
bool Ansi(const wchar_t* text, std::string& out) {
  // A UTF-8 code page takes no best-fit flag and reports no default character.
  const bool utf8 = ::GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL* const lossyOut = utf8 ? nullptr : &lossy;
  const int size = ::WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, lossyOut);
  if (size <= 0) {
    out = "?";
    return false;
  }
  out.assign(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, flags, text, -1, out.data(), size, nullptr, lossyOut);
  out.resize(static_cast<std::size_t>(size) - 1);  // the terminating NUL
  return !lossy;
}

// `folder` and a "/", the start of its files' paths: a separator that ends `folder` is not
// doubled, and a bare drive ("D:") stays that drive's current folder rather than its root.
std::string FolderPrefix(const std::string& folder) {
  std::size_t end = 0;  // past the last character that is not a separator
  for (std::size_t i = 0; i < folder.size(); ++i) {
    if (IsSeparator(folder[i])) continue;
    if (IsLeadByte(folder[i]) && i + 1 < folder.size()) ++i;
    end = i + 1;
  }
  if (folder.size() == 2 && end == 2 && folder[1] == ':') return folder + "./";
  return folder.substr(0, end) + "/";
}

// Opens what `path` names, following links as stat does. FILE_FLAG_BACKUP_SEMANTICS lets a
// folder open too, so that it is told apart as "not a regular file" instead of failing with
// "Access is denied".
win32::UniqueFile OpenExisting(const std::wstring& path, DWORD access) {
  return win32::UniqueFile(::CreateFileW(path.c_str(), access,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A file on a disk that is not a folder (devices such as NUL and pipes are not regular).
bool IsRegular(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
  return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
}

// True for a folder, else false with the system's error for it set, as opendir would fail.
bool IsFolder(const std::string& folder, const std::wstring& prefix) {
  // "" has "/" as its prefix, the drive's root, which is not what was given.
  if (folder.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(prefix.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::SetLastError(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

// A listed entry is a regular file as stat would see it: a link counts as what it leads to.
bool IsRegularEntry(const std::wstring& folderPrefix, const WIN32_FIND_DATAW& found) {
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  const win32::UniqueFile target = OpenExisting(folderPrefix + found.cFileName, FILE_READ_ATTRIBUTES);
  BY_HANDLE_FILE_INFORMATION info;
  return target && IsRegular(target.get(), info);
}

// False with the system's error set when a piece could not be written whole.
bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, data, static_cast<DWORD>(std::min(size, kPiece)), &written, nullptr))
      return false;
    if (written == 0) {
      ::SetLastError(ERROR_DISK_FULL);  // no error, yet no room either
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// A new file beside `path` under a name nobody uses, as mkstemp makes one.
win32::UniqueFile CreateTemporary(const std::string& path, std::wstring& temp) {
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned tag = ::GetCurrentProcessId() * 2654435761u ^ ::GetTickCount() ^ serial++ * 40503u;
    char suffix[12];
    std::snprintf(suffix, sizeof suffix, ".%08X", tag);
    temp = Wide(path + suffix);
    win32::UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file || ::GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return {};
}

// Puts the file `temp` in the place of `path`, as rename does on POSIX: what has that name is
// replaced, never written through (a link is replaced itself, Wine's Unix links included), and
// a read-only file too. A folder link, which no move replaces, is removed first; a folder stays.
bool MoveOver(const std::wstring& temp, const std::wstring& path, DWORD flags) {
  flags |= MOVEFILE_REPLACE_EXISTING;
  if (::MoveFileExW(temp.c_str(), path.c_str(), flags)) return true;
  const DWORD code = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  bool cleared = false;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (link && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      cleared = ::RemoveDirectoryW(path.c_str());
    } else if (!link && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      const DWORD rest = attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
      cleared = ::SetFileAttributesW(path.c_str(), rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL);
    }
  }
  if (cleared) return ::MoveFileExW(temp.c_str(), path.c_str(), flags);
  ::SetLastError(code);
  return false;
}

}  // namespace

std::size_t NameStart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsSeparator(path[i])) {
      start = i + 1;
    } else if (IsLeadByte(path[i]) && i + 1 < path.size()) {
      ++i;
    }
  }
  return start;
}

bool ListFolderFiles(const std::string& folder, std::vector<std::string>& paths, std::string& error) {
  const std::string prefix = FolderPrefix(folder);
  const std::wstring widePrefix = Wide(prefix);
  if (!IsFolder(folder, widePrefix)) {
    error = Failure("cannot read the folder", folder);
    return false;
  }
  WIN32_FIND_DATAW found;
  const win32::UniqueFind listing(::FindFirstFileW((widePrefix + L"*").c_str(), &found));
  // A drive's empty root lists nothing at all, not even "." and "..".
  if (!listing && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
    error = Failure("cannot read the folder", folder);
    return false;
  }
  std::vector<std::string> names;
  for (bool more = static_cast<bool>(listing); more; more = ::FindNextFileW(listing.get(), &found)) {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L".." || !IsRegularEntry(widePrefix, found)) continue;
    std::string bytes;
    if (!Ansi(found.cFileName, bytes)) {
      error = "cannot read the folder " + folder +
              ": a file name there has characters the ANSI code page cannot write: " + bytes;
      return false;
    }
    names.push_back(std::move(bytes));
  }
  if (listing && ::GetLastError() != ERROR_NO_MORE_FILES) {
    error = Failure("cannot read the folder", folder);
    return false;
  }
  std::sort(names.begin(), names.end());
  paths.clear();
  for (const std::string& name : names) paths.push_back(prefix + name);
  return true;
}

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);  // cut short: the whole path needs more room
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  path.resize(slash);
  std::string folder;
  return Ansi(path.c_str(), folder) ? folder : std::string();
}

std::uint64_t FileSize(const std::string& path) {
  const win32::UniqueFile file = OpenExisting(Wide(path), FILE_READ_ATTRIBUTES);
  BY_HANDLE_FILE_INFORMATION info;
  return file && IsRegular(file.get(), info) ? SizeOf(info) : 0;
}

// Opens `path` for reading when it is a regular file; otherwise says why in `error`.
win32::UniqueFile OpenRegularFile(const std::string& path, BY_HANDLE_FILE_INFORMATION& info,
                                  std::string& error) {
  win32::UniqueFile file = OpenExisting(Wide(path), GENERIC_READ);
  if (!file) {
    error = Failure("cannot read", path);
  } else if (!IsRegular(file.get(), info)) {
    error = "not a regular file: " + path;
    file.reset();
  }
  return file;
}

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  BY_HANDLE_FILE_INFORMATION info;
  const win32::UniqueFile file = OpenRegularFile(path, info, error);
  if (!file) return false;
  if (SizeOf(info) > static_cast<std::uint64_t>(kLargest)) {
    error = path + " is larger than 2147483647 bytes, the most an entry can hold";
    return false;
  }
  bytes.resize(static_cast<std::size_t>(SizeOf(info)));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min(bytes.size() - done, kPiece));
    if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      error = Failure("cannot read", path);
      return false;
    }
    if (got == 0) {
      error = "cannot read " + path + ": it shrank while being read";
      return false;
    }
    done += got;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string& error) {
  std::wstring temp;
  win32::UniqueFile file = CreateTemporary(path, temp);
  if (!file) {
    error = Failure("cannot write", path);
    return false;
  }
  bool ok = WriteAll(file.get(), bytes.data(), bytes.size());
  if (!ok) error = Failure("cannot write", path);
  if (!::CloseHandle(file.release()) && ok) {
    error = Failure("cannot write", path);
    ok = false;
  }
  // WRITE_THROUGH: a move that has to copy (to another volume) returns only once the copy is
  // on the disk.
  if (ok && !MoveOver(temp, Wide(path), MOVEFILE_WRITE_THROUGH)) {
    error = Failure("cannot write", path);
    ok = false;
  }
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}

FileSource::~FileSource() {
  if (AsHandle(file_) != INVALID_HANDLE_VALUE) ::CloseHandle(AsHandle(file_));
}

bool FileSource::Open(const std::string& path, std::string& error) {
  BY_HANDLE_FILE_INFORMATION info;
  win32::UniqueFile file = OpenRegularFile(path, info, error);
  if (!file) return false;
  file_ = file.release();
  return true;
}

int32_t FileSource::Read(std::uint8_t* dest, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!::ReadFile(AsHandle(file_), dest + done, static_cast<DWORD>(count - done), &got, nullptr) ||
        got == 0) {
      break;
    }
    done += static_cast<int32_t>(got);
  }
  return done;
}

void FileSource::Seek(int32_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (offset >= 0) ::SetFilePointerEx(AsHandle(file_), position, nullptr, FILE_BEGIN);
}

int32_t FileSource::Length() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(AsHandle(file_), &size)) return 0;
  return static_cast<int32_t>(std::min<std::int64_t>(size.QuadPart, kLargest));
}

bool FileSource::TooLarge() {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(AsHandle(file_), &size) && size.QuadPart > kLargest;
}

FolderSink::~FolderSink() {
  if (AsHandle(file_) == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(AsHandle(file_));
  ::DeleteFileW(temp_.c_str());
}

void FolderSink::Fail(const char* what) {
  if (!failed_) errors_.push_back(Failure(what, path_));
  failed_ = true;
}

// The entry is written to a new file beside DIR/NAME and moved over it at the end: deleting
// the old file first would, under Wine, delete what a Unix link of that name points to.
void FolderSink::Begin(std::string_view name) {
  path_ = FolderPrefix(folder_) + std::string(name);
  failed_ = false;
  win32::UniqueFile file = CreateTemporary(path_, temp_);
  if (!file) {
    Fail("cannot create");
    return;
  }
  file_ = file.release();
}

void FolderSink::Write(const std::uint8_t* data, std::size_t size) {
  if (AsHandle(file_) == INVALID_HANDLE_VALUE || failed_) return;
  if (!WriteAll(AsHandle(file_), data, size)) Fail("cannot write");
}

void FolderSink::End() {
  if (AsHandle(file_) == INVALID_HANDLE_VALUE) return;
  if (!::CloseHandle(AsHandle(file_))) Fail("cannot write");
  file_ = INVALID_HANDLE_VALUE;
  if (!failed_ && !MoveOver(temp_, Wide(path_), 0)) Fail("cannot replace");
  // A failed entry leaves neither its temporary file nor half of itself.
  if (failed_) ::DeleteFileW(temp_.c_str());
}

bool EnsureFolder(const std::string& folder, std::string& error) {
  const std::wstring wide = Wide(folder);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    error = "not a folder: " + folder;
    return false;
  }
  if (!::CreateDirectoryW(wide.c_str(), nullptr)) {
    error = Failure("cannot create folder", folder);
    return false;
  }
  return true;
}

}  // namespace cli
