#include "progress/progress_reporting.h"

#include "progress/progress_layout.h"

namespace progress {

PercentText::PercentText(int32_t percent) {
  char* out = text_;
  *out++ = percent >= 0 ? ' ' : '-';
  // The digits by hand: std::to_chars brings a 200-byte table into the launcher.
  std::uint32_t magnitude = percent >= 0 ? static_cast<std::uint32_t>(percent) : 0u - static_cast<std::uint32_t>(percent);
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) *out++ = digits[--count];
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
