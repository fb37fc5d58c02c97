// The unpacking's progress report for the launcher: each change of the whole percentage sets the
// label's text (" 42 %"), then posts the bar's position.
#pragma once

#include <cstdint>
#include <string_view>

#include "progress/progress_reporting.h"

namespace progress {

class ProgressWindowReport final : public PercentForwarder {
 protected:
  void ShowLabel(std::string_view text) override;
  void ShowPosition(int32_t percent) override;
};

}  // namespace progress
