#include "folders/folder_trust.h"

namespace folders {

bool IsKeeper(Trustee who, Keepers keepers) {
  return who == Trustee::kSystem || who == Trustee::kAdministrators ||
         (who == Trustee::kCurrentUser && keepers == Keepers::kThisUser);
}

bool IsTrustedFolder(Trustee owner, bool hasAccessList, std::span<const AccessEntry> entries,
                     Keepers keepers) {
  if (!IsKeeper(owner, keepers) || !hasAccessList) return false;
  for (const AccessEntry& entry : entries) {
    const bool others = !IsKeeper(entry.who, keepers) && entry.who != Trustee::kCreator;
    if (entry.allows && others && (entry.mask & kFolderWriteRights) != 0) return false;
  }
  return true;
}

}  // namespace folders
