#include "cli/terminal_progress.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string>

namespace cli {

using namespace archive;

namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace

TerminalProgress::TerminalProgress() : enabled_(StderrIsTerminal()) {}

void TerminalProgress::Show(int32_t percent) {
  if (!enabled_) return;
  constexpr int kWidth = 40;
  const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
  std::string line = "\r[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kWidth - filled), '.');
  line += ']';
  line += ' ';
  line += std::to_string(percent);
  line += " %";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalProgress::Finish() {
  if (drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}

}  // namespace cli
