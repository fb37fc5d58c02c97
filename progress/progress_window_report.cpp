#include "progress/progress_window_report.h"

#include "progress/progress_window.h"

namespace progress {

void ProgressWindowReport::ShowLabel(std::string_view text) { SetProgressText(ProgressLabel(), text); }

void ProgressWindowReport::ShowPosition(int32_t percent) { PostProgressPosition(percent); }

}  // namespace progress
