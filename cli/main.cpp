// eekpack: makes .eek archives and installers, lists, unpacks and verifies them.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/host_files.h"
#include "cli/pack_files.h"

namespace {

constexpr const char* kUsage =
    "usage: eekpack --version\n"
    "       eekpack create [--layout 1|2] [--jobs N] ARCHIVE FILE...\n"
    "       eekpack installer OUT.exe FOLDER [--stub LAUNCHER.exe] [--jobs N]\n"
    "               [--set-version-string NAME VALUE]... [--set-file-version A.B.C.D]\n"
    "               [--set-product-version A.B.C.D] [--icon FILE.ico]\n"
    "       eekpack list ARCHIVE|INSTALLER.exe\n"
    "       eekpack extract ARCHIVE|INSTALLER.exe [DIR]\n"
    "       eekpack verify ARCHIVE|INSTALLER.exe\n"
    "\n"
    "create   packs the FILEs into ARCHIVE, each entry named by its file's base name and\n"
    "         compressed to the smallest stream the format allows. Layout 2 (10-byte\n"
    "         headers, names up to 256 bytes) unless --layout 1 asks for 20-byte headers\n"
    "         (names up to 12 bytes, archives up to 99999999 bytes). Entries are encoded on\n"
    "         N threads (default: one per core); the archive is the same for any N.\n"
    "installer  writes OUT.exe: a copy of the launcher whose payload is the archive of every\n"
    "         file directly inside FOLDER (in name order; a setup.exe among them), with its\n"
    "         version information changed as asked (FileVersion and ProductVersion strings\n"
    "         follow the numbers) and, with --icon, FILE.ico's images (every size, PNG\n"
    "         included) as the icon Explorer shows. The launcher is LAUNCHER.exe, by default\n"
    "         TarLoom64Setup.exe beside eekpack, else ../share/eekpack/TarLoom64Setup.exe\n"
    "         from eekpack's folder (where the package puts it), else the build tree's\n"
    "         ../../windows/bin/TarLoom64Setup.exe. Sign OUT.exe afterwards: a signed\n"
    "         launcher is refused, since the payload would break its signature.\n"
    "         The installer carries the archive's digest (length and CRC-32) beside it.\n"
    "list     prints the layout, then per entry: name, compressed size, decoded size.\n"
    "extract  unpacks ARCHIVE into DIR (default: the current folder) as the launcher does:\n"
    "         upper-case names; entries whose name is not a plain file name are skipped.\n"
    "verify   checks an installer's payload against its digest, then that the archive is\n"
    "         whole: every record and stream sound, the last ending at the archive's end.\n"
    "         A bare archive, or an installer without a digest, is judged by the walk alone.\n"
    "list, extract and verify read an installer's payload out of the program (a file that\n"
    "starts with \"MZ\" and a PE header, whatever its name) without running it.\n"
    "\n"
    "Exit status: 0 on success, 1 on a problem with the files or the archive, 2 on a usage\n"
    "error. A progress bar is drawn on stderr when it is a terminal.\n";

int UsageError(const std::string& message) {
  cli::ReportError(message);
  std::fputs("try: eekpack --help\n", stderr);
  return 2;
}

// "--name VALUE" or "--name=VALUE" at args[k]: true when it is that option, with `value` set
// (and k moved past a separate value), or `missing` set when the value is not there.
bool TakeOption(const std::vector<std::string>& args, std::size_t& k, const std::string& name,
                std::string& value, bool& missing) {
  const std::string& arg = args[k];
  if (arg == name) {
    missing = k + 1 == args.size();
    if (!missing) value = args[++k];
    return true;
  }
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

// A thread count: a whole number from 1 to 1024, nothing else.
bool ParseJobs(const std::string& text, unsigned& jobs) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  jobs = static_cast<unsigned>(std::stoul(text));
  return jobs >= 1 && jobs <= 1024;
}

int Create(const std::vector<std::string>& args) {
  archive::Layout layout = archive::Layout::kHeader10;
  unsigned jobs = cli::DefaultJobs();
  std::vector<std::string> operands;
  bool optionsEnded = false;
  bool missing = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (std::string value; !optionsEnded && TakeOption(args, k, "--jobs", value, missing)) {
      if (missing || !ParseJobs(value, jobs)) {
        return UsageError("--jobs needs a number of threads from 1 to 1024");
      }
    } else if (!optionsEnded && TakeOption(args, k, "--layout", value, missing)) {
      if (missing) return UsageError("--layout needs a value, 1 or 2");
      if (value == "1") {
        layout = archive::Layout::kHeader20;
      } else if (value == "2") {
        layout = archive::Layout::kHeader10;
      } else {
        return UsageError("unknown layout \"" + value + "\" (1 or 2)");
      }
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.empty()) return UsageError("create needs an ARCHIVE and FILEs");
  const std::vector<std::string> files(operands.begin() + 1, operands.end());
  return cli::CreateArchive(operands[0], files, layout, jobs);
}

// The launcher beside this program (the Windows zip), else where the package installs it
// (bin/eekpack beside share/eekpack/, in any prefix), else the build tree's
// (build/native/bin/eekpack next to build/windows/bin/TarLoom64Setup.exe).
std::string DefaultStub() {
  const std::string folder = cli::ProgramFolder();
  for (const std::string& candidate : {folder + "/TarLoom64Setup.exe",
                                      folder + "/../share/eekpack/TarLoom64Setup.exe",
                                      folder + "/../../windows/bin/TarLoom64Setup.exe"}) {
    if (cli::FileSize(candidate) != 0) return candidate;
  }
  return folder + "/TarLoom64Setup.exe";
}

int Installer(const std::vector<std::string>& args) {
  cli::InstallerOptions options;
  options.jobs = cli::DefaultJobs();
  std::vector<std::string> operands;
  bool missing = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string value;
    if (TakeOption(args, k, "--stub", value, missing)) {
      if (missing) return UsageError("--stub needs the launcher's path");
      options.stub = value;
    } else if (TakeOption(args, k, "--jobs", value, missing)) {
      if (missing || !ParseJobs(value, options.jobs)) {
        return UsageError("--jobs needs a number of threads from 1 to 1024");
      }
    } else if (TakeOption(args, k, "--set-file-version", value, missing)) {
      if (missing) return UsageError("--set-file-version needs A.B.C.D");
      options.fileVersion = value;
    } else if (TakeOption(args, k, "--set-product-version", value, missing)) {
      if (missing) return UsageError("--set-product-version needs A.B.C.D");
      options.productVersion = value;
    } else if (TakeOption(args, k, "--icon", value, missing)) {
      if (missing) return UsageError("--icon needs an .ico file");
      options.icon = value;
    } else if (args[k] == "--set-version-string") {
      if (k + 2 >= args.size()) return UsageError("--set-version-string needs a NAME and a VALUE");
      options.versionStrings.emplace_back(args[k + 1], args[k + 2]);
      k += 2;
    } else if (args[k].size() > 1 && args[k][0] == '-') {
      return UsageError("unknown option " + args[k]);
    } else {
      operands.push_back(args[k]);
    }
  }
  if (operands.size() != 2) return UsageError("installer needs OUT.exe and a FOLDER");
  options.output = operands[0];
  options.folder = operands[1];
  if (options.stub.empty()) options.stub = DefaultStub();
  return cli::MakeInstaller(options);
}

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command");
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    if (!args.empty()) return UsageError("--version takes nothing more");
    std::puts("eekpack " EEKPACK_VERSION);
    return 0;
  }
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (command == "create") return Create(args);
  if (command == "installer") return Installer(args);
  if (command == "list") {
    if (args.size() != 1) return UsageError("list needs exactly one ARCHIVE");
    return cli::ListArchive(args[0]);
  }
  if (command == "extract") {
    if (args.empty() || args.size() > 2) return UsageError("extract needs an ARCHIVE and at most one DIR");
    return cli::ExtractArchive(args[0], args.size() == 2 ? args[1] : ".");
  }
  if (command == "verify") {
    if (args.size() != 1) return UsageError("verify needs exactly one ARCHIVE or INSTALLER.exe");
    return cli::VerifyArchive(args[0]);
  }
  return UsageError("unknown command \"" + command + "\"");
}

}  // namespace

// What escapes a command (memory that cannot be had, a library's exception) is said in one line
// like any other failure, never an abort.
int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    cli::ReportError("out of memory");
  } catch (const std::exception& failure) {
    cli::ReportError(failure.what());
  }
  return 1;
}

namespace cli {

using namespace archive;

void ReportError(const std::string& message) {
  std::fprintf(stderr, "eekpack: error: %s\n", message.c_str());
}

}  // namespace cli
