#include "fileops/file_listing.h"

#include <windows.h>

#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/handle.h"

namespace {

struct OpenListing {
  win32::UniqueFind search;
  std::uint32_t mask = 0;
};

// Each thread has its own listing; the program lists on the main thread only.
thread_local OpenListing openListing;

std::wstring WidePath(std::string_view path) {
  std::wstring wide = win32::AnsiToWide(path);
  if (wide.size() > fileops::kMaxWidePath) wide.resize(fileops::kMaxWidePath);
  return wide;
}

bool Accepts(const WIN32_FIND_DATAW& entry, std::uint32_t mask) {
  const std::u16string_view name(reinterpret_cast<const char16_t*>(entry.cFileName));
  return fileops::IsListed(entry.dwFileAttributes, mask, name);
}

// The open listing's next entry; when the search runs out, the listing is closed.
bool NextEntry(WIN32_FIND_DATAW& entry) {
  BOOL found;
  {
    win32::QuietErrorMode quiet;
    found = ::FindNextFileW(openListing.search.get(), &entry);
  }
  if (!found) openListing.search.reset();
  return found;
}

// Walks the open listing from `entry` (already delivered by the search) to the first accepted
// entry.
std::string FirstAcceptedFrom(WIN32_FIND_DATAW& entry) {
  do {
    if (Accepts(entry, openListing.mask)) return win32::WideToAnsi(entry.cFileName);
  } while (NextEntry(entry));
  return {};
}

}  // namespace

std::string ListFirst(std::string_view pattern, std::uint32_t mask) {
  openListing.search.reset();
  openListing.mask = mask;
  const std::wstring wide = WidePath(fileops::WithFolderWildcard(pattern));
  WIN32_FIND_DATAW entry;
  {
    win32::QuietErrorMode quiet;
    openListing.search.reset(::FindFirstFileW(wide.c_str(), &entry));
  }
  if (!openListing.search) return {};
  return FirstAcceptedFrom(entry);
}

std::string ListNext() {
  if (!openListing.search) return {};
  WIN32_FIND_DATAW entry;
  if (!NextEntry(entry)) return {};
  return FirstAcceptedFrom(entry);
}

bool PathExists(std::string_view path, std::uint32_t mask) { return !ListFirst(path, mask).empty(); }

void DeleteMatchingFiles(std::string_view path) {
  if (path.empty()) return;
  const std::string pattern = fileops::WithFolderWildcard(path);
  const std::string folder(fileops::FolderPart(pattern));
  WIN32_FIND_DATAW entry;
  win32::UniqueFind search;
  {
    win32::QuietErrorMode quiet;
    search.reset(::FindFirstFileW(WidePath(pattern).c_str(), &entry));
  }
  if (!search) return;
  do {
    if (fileops::IsDeletable(entry.dwFileAttributes)) {
      const std::wstring target = WidePath(folder + win32::WideToAnsi(entry.cFileName));
      win32::QuietErrorMode quiet;
      // A file that cannot be deleted ends the whole call: the matches after it stay.
      if (!::DeleteFileW(target.c_str())) return;
    }
    win32::QuietErrorMode quiet;
    if (!::FindNextFileW(search.get(), &entry)) return;
  } while (true);
}
