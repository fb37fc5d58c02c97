// Packing a list of files into an archive in memory: the names checked first, then every entry
// encoded, on as many threads as asked, and the records appended in the list's order, so that
// the archive is the same whatever the number of threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format.h"

namespace cli {

// Every problem with the names of `files` (each entry named by its file's base name), one line
// each: too long for the layout or to be installed, not a plain file name, a leading or
// trailing blank, two names the same once upper-cased. Empty when all are fine.
std::vector<std::string> NameProblems(const std::vector<std::string>& files, archive::Layout layout);

// The number of threads for `--jobs` when none is given: one per core.
unsigned DefaultJobs();

// Reads and encodes every file (on `jobs` threads) and appends the records to `archive` in the
// order of `files`. A progress bar, when stderr is a terminal, counts input bytes encoded. On a
// problem (a file that cannot be read, an archive past the format's 2 GiB) returns false with
// `error` saying it, and `archive` is left as it was.
bool PackFiles(const std::vector<std::string>& files, archive::Layout layout, unsigned jobs,
               std::vector<std::uint8_t>& archive, std::string& error);

}  // namespace cli
