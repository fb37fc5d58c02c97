#include "tools/terminal_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace tools {

using namespace archive;

TerminalProgress::TerminalProgress() : enabled_(::isatty(STDERR_FILENO) == 1) {}

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

}  // namespace tools
