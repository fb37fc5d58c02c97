// What the unpacking shows of its progress: a label text and a bar position for each change of
// the whole percentage. Portable, so the rules are tested natively; the window's Win32 side
// (progress_window_report.h) only says where the text and the position go.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/byte_io.h"

namespace progress {

// The bar position posted for `position`: values below 1 (signed) are raised to 1, so the bar
// never looks empty; there is no upper limit.
int32_t BarPosition(int32_t position);

// Turns percentage changes into a label text, then a bar position, in that order, so the label
// is up to date before the bar moves for the same percentage.
//
// It keeps its own last percentage, starting at 0: nothing is shown for 0 %, and a percentage
// equal to the last one shows nothing again. Make one per run, after the window has started.
class PercentForwarder : public eek::ProgressReport {
 public:
  void PercentChanged(int32_t percent) final;

 protected:
  virtual void ShowLabel(std::string_view text) = 0;
  virtual void ShowPosition(int32_t percent) = 0;

 private:
  int32_t lastPercent_ = 0;
};

}  // namespace progress
