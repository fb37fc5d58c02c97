// The packer's commands. Each returns the process exit code: 0 when all went well, 1 after
// printing one line per problem on stderr.
#pragma once

#include <string>
#include <vector>

#include "archive/format.h"

namespace tools {

// Packs FILEs (each named by its base name) into ARCHIVE, encoding on `jobs` threads; the
// archive is the same whatever their number.
int CreateArchive(const std::string& archive, const std::vector<std::string>& files,
                  archive::Layout layout, unsigned jobs);

// Prints the layout, then one line per entry: name, compressed size, decoded size.
int ListArchive(const std::string& archive);

// Unpacks ARCHIVE into `folder` with the launcher's walk: upper-case names, entries whose name
// is not a plain file name skipped.
int ExtractArchive(const std::string& archive, const std::string& folder);

// Prints "eekpack: error: MESSAGE" on stderr.
void ReportError(const std::string& message);

}  // namespace tools
