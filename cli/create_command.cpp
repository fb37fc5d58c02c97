#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/host_files.h"
#include "cli/pack_files.h"

namespace cli {

int CreateArchive(const std::string& archivePath, const std::vector<std::string>& files,
                  archive::Layout layout, unsigned jobs) {
  if (files.empty()) {
    ReportError("no input files (usage: eekpack create ARCHIVE FILE...)");
    return 1;
  }
  // Every name is checked before any file is read, so that one run lists all of them.
  const std::vector<std::string> problems = NameProblems(files, layout);
  for (const std::string& problem : problems) ReportError(problem);
  if (!problems.empty()) return 1;

  std::vector<std::uint8_t> archive;
  std::string error;
  if (!PackFiles(files, layout, jobs, archive, error) ||
      !WriteFileAtomically(archivePath, archive, error)) {
    ReportError(error);
    return 1;
  }
  return 0;
}

}  // namespace cli
