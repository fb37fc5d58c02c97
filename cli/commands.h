// The packer's commands. Each returns the process exit code: 0 when all went well, 1 after
// printing one line per problem on stderr.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/format.h"

namespace cli {

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
  std::string icon;            // an .ico file for Explorer to show, or empty to keep the stub's
  unsigned jobs = 1;
};

// Writes `output`: a copy of the launcher `stub` whose payload is the archive of every file
// directly inside `folder` (in name order), its version information changed as asked and, with
// `icon`, that icon's images in a group of their own that Explorer shows (the launcher's own
// TARNBY group kept for its window). Refused with one line on stderr, and no file written, for
// a stub that is not the launcher or is signed, an icon file that is not sound, a folder
// without setup.exe, a name the launcher cannot write, or an archive past 2 GiB.
int MakeInstaller(const InstallerOptions& options);

// List, extract and verify take a bare archive or an installer (a file that starts as a
// Windows program does, whatever its name), whose payload resource they read without running
// it. A file that cannot be read as a program, or carries no payload, is refused in one line.

// Prints the layout, then one line per entry: name, compressed size, decoded size.
int ListArchive(const std::string& archive);

// Unpacks ARCHIVE into `folder` with the launcher's walk: upper-case names, entries whose name
// is not a plain file name skipped.
int ExtractArchive(const std::string& archive, const std::string& folder);

// Checks an installer's payload against its digest record, then walks the archive: 0 with a
// line on stdout when the digest matches and the walk ends exactly at the archive's end with
// every entry whole; 1 with one line naming the first problem (no payload, a damaged digest
// record, a digest mismatch, a damaged archive). An installer without a digest record, or a
// bare archive, is said to be one on stdout and judged by its walk alone.
int VerifyArchive(const std::string& archive);

// Prints "eekpack: error: MESSAGE" on stderr.
void ReportError(const std::string& message);

}  // namespace cli
