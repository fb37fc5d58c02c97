#include "folders/folder_trust.h"

namespace folders {

namespace {

bool IsTrustedOwner(Trustee who) {
  return who == Trustee::kSystem || who == Trustee::kAdministrators || who == Trustee::kCurrentUser;
}

}  // namespace

bool IsTrustedFolder(Trustee owner, bool hasAccessList, std::span<const AccessEntry> entries) {
  if (!IsTrustedOwner(owner) || !hasAccessList) return false;
  for (const AccessEntry& entry : entries) {
    const bool others = !IsTrustedOwner(entry.who) && entry.who != Trustee::kCreator;
    if (entry.allows && others && (entry.mask & kFolderWriteRights) != 0) return false;
  }
  return true;
}

}  // namespace folders
