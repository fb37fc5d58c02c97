// A one-line progress bar on stderr, drawn only when stderr is a terminal.
#pragma once

#include <cstdint>

#include "archive/byte_io.h"

namespace cli {

class TerminalProgress final : public archive::ProgressReport {
 public:
  TerminalProgress();
  void PercentChanged(int32_t percent) override { Show(percent); }
  void Show(int32_t percent);
  // Ends the bar's line, if one was drawn.
  void Finish();

 private:
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace cli
