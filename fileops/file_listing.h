// Listing the names in a folder, the existence test, and deleting plain files. Paths are byte
// strings in the ANSI code page. None of these report anything: a failed search yields the
// empty string and a failed deletion leaves the file where it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fileops/listing_rules.h"

// Starts a listing of `pattern` (a name, or wildcards in the last component) that accepts plain
// files and the kinds in `mask`, and returns the first accepted bare name, or "" for none.
// Ends the calling thread's earlier listing, if any: there is one open listing per thread.
std::string ListFirst(std::string_view pattern, std::uint32_t mask);

// The next accepted name of this thread's open listing, or "" when it is exhausted (the listing
// is then closed) or none is open.
std::string ListNext();

// The existence test: something of that name is seen by a listing with `mask`.
bool PathExists(std::string_view path, std::uint32_t mask);

// Deletes the plain files that `path` names or matches, in the search's order, and stops at the
// first one that cannot be deleted.
void DeleteMatchingFiles(std::string_view path);
