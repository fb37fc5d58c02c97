// Whether a walk went through a sound archive: the judgement the launcher acts on before it
// makes anything of what it unpacked, and the packer's verify command reports.
#pragma once

#include <cstddef>
#include <string_view>

#include "archive/format.h"
#include "archive/walk.h"

namespace archive {

// An archive is sound when the walk ended exactly at its end (WalkEnd::kEndOfArchive) and the
// decoder took every entry's stream whole (no token cut off or pointing outside the history, no
// short read). A walk stopped by a failed sink says nothing about the archive: it is not
// judged damaged for that.
class WalkVerdict final : public WalkObserver {
 public:
  void Record(const WalkRecord& record) override;
  void Ended(WalkEnd how) override;

  bool damaged() const { return damaged_; }
  WalkEnd end() const { return end_; }
  // The cleaned name of the first entry found damaged, or of the last record when the walk
  // broke off after it; empty when the damage came before any named record.
  std::string_view damagedEntry() const { return {name_, nameLength_}; }

 private:
  void Remember(std::string_view name);

  bool damaged_ = false;
  WalkEnd end_ = WalkEnd::kEndOfArchive;
  char name_[kLayout2LongestName] = {};
  std::size_t nameLength_ = 0;
};

}  // namespace archive
