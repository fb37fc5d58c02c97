#include "progress/progress_reporting.h"

#include "archive/percent.h"
#include "progress/progress_layout.h"

namespace progress {

int32_t BarPosition(int32_t position) {
  return position < kBarFirstPosition ? kBarFirstPosition : position;
}

void PercentForwarder::PercentChanged(int32_t percent) {
  const auto text = eek::PercentText(percent);
  ShowLabel(text);
  ShowPosition(percent);
}

}  // namespace progress
