#include "archive/walk_state.h"

#include <limits>

#include "archive/percent.h"

namespace archive {

int32_t ArchiveReader::Read(std::uint8_t* dest, int32_t count) {
  int32_t delivered = source_.Read(dest, count);
  if (delivered < 0) delivered = 0;
  if (delivered > count) delivered = count;
  lastReadShort_ = delivered < count;
  return delivered;
}

void WalkProgress::Count(int32_t n) {
  if (n <= 0) return;
  const int32_t room = std::numeric_limits<int32_t>::max() - bytesCounted_;
  bytesCounted_ = n > room ? std::numeric_limits<int32_t>::max() : bytesCounted_ + n;
}

void WalkProgress::Update() {
  const int32_t percent = ComputePercent(bytesCounted_, totalBytes_);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  report_.PercentChanged(percent);
}

}  // namespace archive
