// What the unpacking shows of its progress: a label text and a bar position for each change of
// the whole percentage. Portable, so the rules are tested natively; the window's Win32 side
// (progress_window_report.h) only says where the text and the position go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace progress {

// The label's text for a percentage: the number as the number-to-text conversion writes it (a
// blank before a number that is not negative, a minus sign otherwise), then " %": 42 gives
// " 42 %", -3 gives "-3 %". Held in place: at most 13 bytes.
class PercentText {
 public:
  explicit PercentText(int32_t percent);
  std::string_view view() const { return {text_, length_}; }

 private:
  char text_[16];
  std::size_t length_ = 0;
};

// The bar position posted for `position`: values below 1 (signed) are raised to 1, so the bar
// never looks empty; there is no upper limit.
int32_t BarPosition(int32_t position);

// Turns each change of the whole percentage, as the walk reports it (never 0 %, once per
// change), into a label text, then a bar position, in that order, so the label is up to date
// before the bar moves for the same percentage.
class PercentForwarder {
 public:
  virtual ~PercentForwarder() = default;
  void PercentChanged(int32_t percent);

 protected:
  virtual void ShowLabel(std::string_view text) = 0;
  virtual void ShowPosition(int32_t percent) = 0;
};

}  // namespace progress
