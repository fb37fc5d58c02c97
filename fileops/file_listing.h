// Listing the names in a folder, the existence test, and deleting plain files. Paths are byte
// strings in the ANSI code page. None of these report anything: a failed search yields the
// empty name and a failed deletion leaves the file where it is.
#pragma once

#include <cstdint>
#include <string_view>

#include "fileops/listing_rules.h"
#include "win32/fixed_text.h"

namespace fileops {

// A name as the search delivers it, in the ANSI code page (a 259-character name may take up to
// twice as many bytes).
using ListedName = win32::BoundedText<char, 2 * win32::kPathBuffer>;

// Starts a listing of `pattern` (a name, or wildcards in the last component) that accepts plain
// files and the kinds in `mask`, and returns the first accepted bare name, or "" for none.
// Ends the earlier listing, if any. There is one open listing in the process, not one per
// thread: only the main thread lists.
ListedName ListFirst(std::string_view pattern, std::uint32_t mask);

// The next accepted name of the open listing, or "" when it is exhausted (the listing is then
// closed) or none is open.
ListedName ListNext();

// The existence test: something of that name is seen by a listing with `mask`.
bool PathExists(std::string_view path, std::uint32_t mask);

// Deletes the plain files that `path` names or matches, in the search's order, and stops at the
// first one that cannot be deleted.
void DeleteMatchingFiles(std::string_view path);

}  // namespace fileops
