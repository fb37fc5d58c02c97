#include "archive/walk_verdict.h"

#include <cstring>

namespace archive {

void WalkVerdict::Record(const WalkRecord& record) {
  if (damaged_) return;  // the first damaged entry is the one named
  Remember(record.name);
  damaged_ = record.outcome.malformed || record.outcome.shortRead;
}

void WalkVerdict::Ended(WalkEnd how) {
  end_ = how;
  if (how == WalkEnd::kShortRead || how == WalkEnd::kPastEnd || how == WalkEnd::kNotForward) {
    damaged_ = true;
  }
}

void WalkVerdict::Remember(std::string_view name) {
  nameLength_ = name.size() < sizeof name_ ? name.size() : sizeof name_;
  std::memcpy(name_, name.data(), nameLength_);
}

}  // namespace archive
