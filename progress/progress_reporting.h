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

// Turns each change of the whole percentage, as the walk reports it (never 0 %, once per
// change), into a label text, then a bar position, in that order, so the label is up to date
// before the bar moves for the same percentage.
class PercentForwarder : public eek::ProgressReport {
 public:
  void PercentChanged(int32_t percent) final;

 protected:
  virtual void ShowLabel(std::string_view text) = 0;
  virtual void ShowPosition(int32_t percent) = 0;
};

}  // namespace progress
