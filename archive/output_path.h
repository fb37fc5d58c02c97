// Where an entry is written: the destination folder without its trailing backslashes, one
// backslash, the cleaned name; the name alone when there is no destination folder (it then
// resolves against the current folder). Portable, tested natively.
#pragma once

#include <string>
#include <string_view>

namespace eek {

std::string OutputPath(std::string_view destinationFolder, std::string_view name);

}  // namespace eek
