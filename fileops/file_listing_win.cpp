#include "fileops/file_listing.h"

#include <windows.h>

#include "win32/ansi.h"
#include "win32/error_mode.h"
#include "win32/handle.h"

namespace fileops {

namespace {

// The one open listing. Only the main thread lists, so it needs no lock and no thread-local
// storage (which would bring in the threads library and a Vista-only import). Its search handle
// is a plain value, null while no listing is open, not an owner: the launcher starts without
// the C runtime, which alone would construct and destroy a global owner. The search is closed
// when the listing runs out or is replaced, else by the system when the process ends.
struct OpenListing {
  HANDLE search;
  std::uint32_t mask;
};
constinit OpenListing openListing = {nullptr, 0};

void CloseListing() {
  if (openListing.search != nullptr) ::FindClose(openListing.search);
  openListing.search = nullptr;
}

win32::WidePath WidePath(std::string_view path) {
  win32::WidePath wide = win32::AnsiToWide(path);
  if (wide.size() > kMaxWidePath) wide.SetLength(kMaxWidePath);
  return wide;
}

bool Accepts(const WIN32_FIND_DATAW& entry, std::uint32_t mask) {
  const std::u16string_view name(reinterpret_cast<const char16_t*>(entry.cFileName));
  return IsListed(entry.dwFileAttributes, mask, name);
}

// The open listing's next entry; when the search runs out, the listing is closed.
bool NextEntry(WIN32_FIND_DATAW& entry) {
  BOOL found;
  {
    win32::QuietErrorMode quiet;
    found = ::FindNextFileW(openListing.search, &entry);
  }
  if (!found) CloseListing();
  return found;
}

ListedName AnsiName(const wchar_t* wide) {
  ListedName name;
  name.SetLength(win32::ConvertWideToAnsi(wide, name.data(), ListedName::capacity()));
  return name;
}

// Walks the open listing from `entry` (already delivered by the search) to the first accepted
// entry.
ListedName FirstAcceptedFrom(WIN32_FIND_DATAW& entry) {
  do {
    if (Accepts(entry, openListing.mask)) return AnsiName(entry.cFileName);
  } while (NextEntry(entry));
  return {};
}

}  // namespace

ListedName ListFirst(std::string_view pattern, std::uint32_t mask) {
  CloseListing();
  openListing.mask = mask;
  const win32::WidePath wide = WidePath(WithFolderWildcard(pattern).view());
  WIN32_FIND_DATAW entry;
  {
    win32::QuietErrorMode quiet;
    const HANDLE search = ::FindFirstFileW(wide.c_str(), &entry);
    openListing.search = search != INVALID_HANDLE_VALUE ? search : nullptr;
  }
  if (openListing.search == nullptr) return {};
  return FirstAcceptedFrom(entry);
}

ListedName ListNext() {
  if (openListing.search == nullptr) return {};
  WIN32_FIND_DATAW entry;
  if (!NextEntry(entry)) return {};
  return FirstAcceptedFrom(entry);
}

bool PathExists(std::string_view path, std::uint32_t mask) { return !ListFirst(path, mask).empty(); }

void DeleteMatchingFiles(std::string_view path) {
  if (path.empty()) return;
  const win32::PathText pattern = WithFolderWildcard(path);
  const std::string_view folder = FolderPart(pattern.view());
  WIN32_FIND_DATAW entry;
  win32::UniqueFind search;
  {
    win32::QuietErrorMode quiet;
    search.reset(::FindFirstFileW(WidePath(pattern.view()).c_str(), &entry));
  }
  if (!search) return;
  do {
    if (IsDeletable(entry.dwFileAttributes)) {
      win32::PathText target(folder);
      target.Append(AnsiName(entry.cFileName).view());
      win32::QuietErrorMode quiet;
      // A file that cannot be deleted ends the whole call: the matches after it stay.
      if (!::DeleteFileW(WidePath(target.view()).c_str())) return;
    }
    win32::QuietErrorMode quiet;
    if (!::FindNextFileW(search.get(), &entry)) return;
  } while (true);
}

}  // namespace fileops
