// The packer's commands. Each returns the process exit code: 0 when all went well, 1 after
// printing one line per problem on stderr.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/format.h"

namespace tools {

// Packs FILEs (each named by its base name) into ARCHIVE, encoding on `jobs` threads; the
// archive is the same whatever their number.
int CreateArchive(const std::string& archive, const std::vector<std::string>& files,
                  archive::Layout layout, unsigned jobs);

// What `eekpack installer` is asked to make.
struct InstallerOptions {
  std::string output;
  std::string folder;
  std::string stub;
  std::vector<std::pair<std::string, std::string>> versionStrings;  // UTF-8 name, value
  std::string fileVersion;     // "A.B.C.D", or empty to keep the stub's
  std::string productVersion;  // likewise
  unsigned jobs = 1;
};

// Writes `output`: a copy of the launcher `stub` whose payload is the archive of every file
// directly inside `folder` (in name order), its version information changed as asked. Refused
// with one line on stderr, and no file written, for a stub that is not the launcher or is
// signed, a folder without setup.exe, a name the launcher cannot write, or an archive past
// 2 GiB.
int MakeInstaller(const InstallerOptions& options);

// Prints the layout, then one line per entry: name, compressed size, decoded size.
int ListArchive(const std::string& archive);

// Unpacks ARCHIVE into `folder` with the launcher's walk: upper-case names, entries whose name
// is not a plain file name skipped.
int ExtractArchive(const std::string& archive, const std::string& folder);

// Prints "eekpack: error: MESSAGE" on stderr.
void ReportError(const std::string& message);

}  // namespace tools
