#include "progress/progress_reporting.h"

#include <charconv>

#include "progress/progress_layout.h"

namespace progress {

PercentText::PercentText(int32_t percent) {
  char* out = text_;
  if (percent >= 0) *out++ = ' ';
  out = std::to_chars(out, text_ + sizeof text_, percent).ptr;
  *out++ = ' ';
  *out++ = '%';
  length_ = static_cast<std::size_t>(out - text_);
}

int32_t BarPosition(int32_t position) {
  return position < kBarFirstPosition ? kBarFirstPosition : position;
}

void PercentForwarder::PercentChanged(int32_t percent) {
  ShowLabel(PercentText(percent).view());
  ShowPosition(percent);
}

}  // namespace progress
