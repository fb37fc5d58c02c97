// Where an entry is written: the destination folder without its trailing backslashes, one
// backslash, the cleaned name; the name alone when there is no destination folder (it then
// resolves against the current folder). Portable, tested natively.
#pragma once

#include <string_view>

#include "win32/fixed_text.h"

namespace folders {

// A path too long for the buffer comes back marked cut().
win32::PathText OutputPath(std::string_view destinationFolder, std::string_view name);

}  // namespace folders
