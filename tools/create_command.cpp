#include <map>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "launcher/texts.h"
#include "tools/archive_writer.h"
#include "tools/commands.h"
#include "tools/encoder.h"
#include "tools/posix_files.h"
#include "tools/terminal_progress.h"

namespace tools {

using namespace archive;

namespace {

// The launcher writes each entry to "C:\Tarnby Setup\TarLoom64\NAME" through a MAX_PATH
// buffer (259 bytes and a NUL): a longer name could not be installed.
constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kLongestInstalledName =
    kMaxPath - 1 - launcher::kDefaultDrive.size() - launcher::kProductFolderName.size() - 1;
static_assert(kLongestInstalledName == 233);

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why `name` cannot be an entry name in `layout`, or nothing.
std::string NameProblem(const std::string& name, Layout layout) {
  const std::size_t longest =
      layout == Layout::kHeader20 ? kLayout1NameSize : kLayout2LongestName;
  if (name.size() > longest) {
    return "name too long for layout " + std::to_string(static_cast<int>(layout)) + " (" +
           std::to_string(longest) + " bytes at most): " + name;
  }
  if (name.size() > kLongestInstalledName) {
    return "name too long to install (" + std::to_string(kLongestInstalledName) +
           " bytes at most, so that " + std::string(launcher::kDefaultDrive) +
           std::string(launcher::kProductFolderName) + "\\NAME fits MAX_PATH): " + name;
  }
  // The reader trims blanks, so the entry would come out under another name.
  if (!name.empty() && (name.front() == ' ' || name.back() == ' '))
    return "name begins or ends with a blank: \"" + name + "\"";
  if (!IsPlainFileName(CleanEntryName(name, layout).view())) {
    return "not a plain file name: \"" + name +
           "\" (no device names, control characters or any of \\ / : < > \" | ? *, and no "
           "trailing dot)";
  }
  return {};
}

std::string RecordProblem(RecordError error, const std::string& path) {
  switch (error) {
    case RecordError::kNone: return {};
    case RecordError::kEmptyName: return "no file name in " + path;
    case RecordError::kNameTooLong: return "name too long: " + path;
    case RecordError::kTooLarge:
      return "the archive would pass 2147483647 bytes, the most the format can hold, at " + path;
    case RecordError::kEndPosTooLarge:
      return "a layout 1 archive cannot pass 99999999 bytes (reached at " + path +
             "); use layout 2";
  }
  return "cannot add " + path;
}

}  // namespace

int CreateArchive(const std::string& archivePath, const std::vector<std::string>& files,
                  Layout layout) {
  if (files.empty()) {
    ReportError("no input files (usage: eekpack create ARCHIVE FILE...)");
    return 1;
  }
  // Every name is checked before any file is read, so that one run lists all of them.
  bool ok = true;
  std::map<std::string, std::string> byCleanName;
  for (const std::string& path : files) {
    const std::string name = BaseName(path);
    if (name.empty()) {
      ReportError("no file name in " + path);
      ok = false;
      continue;
    }
    const std::string problem = NameProblem(name, layout);
    if (!problem.empty()) {
      ReportError(problem);
      ok = false;
      continue;
    }
    // The reader upper-cases names, so names equal but for case would land on one file.
    const auto [where, fresh] = byCleanName.emplace(CleanEntryName(name, layout).view(), path);
    if (!fresh) {
      ReportError("duplicate entry name: " + path + " and " + where->second);
      ok = false;
    }
  }
  if (!ok) return 1;

  std::vector<std::uint8_t> archive;
  TerminalProgress bar;
  for (std::size_t k = 0; k < files.size(); ++k) {
    std::vector<std::uint8_t> data;
    std::string error;
    if (!ReadInputFile(files[k], data, error)) {
      bar.Finish();
      ReportError(error);
      return 1;
    }
    const std::vector<std::uint8_t> stream = EncodeEntry(data);
    const RecordError added = AppendRecord(archive, layout, BaseName(files[k]), stream,
                                           static_cast<int64_t>(data.size()));
    if (added != RecordError::kNone) {
      bar.Finish();
      ReportError(RecordProblem(added, files[k]));
      return 1;
    }
    bar.Show(static_cast<int32_t>((k + 1) * 100 / files.size()));
  }
  bar.Finish();

  std::string error;
  if (!WriteFileAtomically(archivePath, archive, error)) {
    ReportError(error);
    return 1;
  }
  return 0;
}

}  // namespace tools
