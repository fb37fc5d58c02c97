#include "folders/run_folder.h"

namespace folders {

namespace {

// A planted tree may be deep; the emptying goes no deeper than this (and then stops).
constexpr int kDeepestFolder = 32;

bool IsDotName(std::wstring_view name) { return name == L"." || name == L".."; }

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - L'a' + L'A');
    if (x != y) return false;
  }
  return true;
}

constexpr std::uint32_t kNotPlain = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                    kAttributeFolder | kAttributeLink;

std::uint32_t Empty(FileLayer& layer, Node folder, Emptying what, std::wstring_view keep, int depth) {
  if (depth > kDeepestFolder) return kErrorPathTooLong;
  EntryName name;
  std::uint32_t listed = 0;
  std::uint32_t error = 0;
  for (bool restart = true; layer.NextEntry(folder, restart, name, listed, error); restart = false) {
    if (IsDotName(name.view())) continue;
    if (what == Emptying::kPlainFiles && (listed & kNotPlain) != 0) continue;
    if (!keep.empty() && (listed & kAttributeLink) == 0 && SameName(name.view(), keep)) continue;
    // Opened first and judged on the handle: what the listing said may have been swapped since.
    const Opened entry = layer.OpenEntry(folder, name.view(), kShareNothing);
    if (entry.node == 0) {
      if (what == Emptying::kPlainFiles) continue;
      return entry.error;
    }
    // A link is one whichever says so: a system whose opens follow symbolic links (Wine) shows
    // it in the listing alone.
    const std::uint32_t is = entry.attributes | (listed & kAttributeLink);
    std::uint32_t failed = 0;
    if (what == Emptying::kPlainFiles) {
      if ((is & kNotPlain) == 0) layer.Delete(entry.node, is);
    } else if ((is & kAttributeLink) != 0) {
      // The link itself goes; what it points to is never touched.
      failed = layer.Delete(entry.node, is);
    } else if ((is & kAttributeFolder) != 0) {
      failed = Empty(layer, entry.node, what, {}, depth + 1);
      if (failed == 0) failed = layer.Delete(entry.node, is);
    } else {
      failed = layer.Delete(entry.node, is);
    }
    layer.Close(entry.node);
    if (failed != 0) return failed;
  }
  return what == Emptying::kPlainFiles ? 0 : error;
}

// Whether a failure means that this user cannot have the folder (another folder is then tried),
// rather than that it cannot exist there.
bool NotOurs(std::uint32_t error) {
  return error == kErrorAccessDenied || error == kErrorSharingViolation ||
         error == kErrorInvalidOwner || error == kErrorPrivilegeNotHeld;
}

// The folder `name` in `parent`, held; a link in its place is removed and a folder made.
Opened OpenOwnFolder(FileLayer& layer, Node parent, std::wstring_view name) {
  Opened folder = layer.OpenFolder(parent, name, kShareReading, true);
  if (folder.node == 0 || (folder.attributes & kAttributeLink) == 0) return folder;
  layer.Close(folder.node);
  // A link that cannot be removed (someone else's) makes the folder not ours: the failure
  // keeps the link's attribute to say so.
  const Opened link = layer.OpenEntry(parent, name, kShareNothing);
  if (link.node == 0) return {0, link.error, kAttributeLink};
  // Only a link goes: anything else there now was put there since, by someone else.
  const std::uint32_t failed =
      (link.attributes & kAttributeLink) != 0 ? layer.Delete(link.node, link.attributes) : kErrorAccessDenied;
  layer.Close(link.node);
  if (failed != 0) return {0, failed, kAttributeLink};
  folder = layer.OpenFolder(parent, name, kShareReading, true);
  if (folder.node != 0 && (folder.attributes & kAttributeLink) != 0) {
    layer.Close(folder.node);
    return {0, kErrorAccessDenied, kAttributeLink};
  }
  return folder;
}

// Whether a folder that could not be opened is not this user's to have, rather than missing.
bool NotOurs(const Opened& failed) {
  return NotOurs(failed.error) || (failed.attributes & kAttributeLink) != 0;
}

bool IsTrusted(FileLayer& layer, Node folder, Keepers keepers) {
  FolderSecurity security;
  layer.ReadSecurity(folder, security);
  return security.readable &&
         IsTrustedFolder(security.owner, security.hasAccessList, {security.entries, security.count}, keepers);
}

// Whether what is open as `node` is owned by one of the `keepers` (unreadable: it is not).
bool KeepersOwn(FileLayer& layer, Node node, Keepers keepers) {
  FolderSecurity security;
  layer.ReadSecurity(node, security);
  return security.readable && IsKeeper(security.owner, keepers);
}

// A plain file, or a hidden or system folder, in a working folder's place counts as the folder
// missing, with its message; but what someone else made there stops nobody's run as the user:
// another folder is tried.
FolderResult InTheWay(FileLayer& layer, Node node, Keepers keepers, FolderResult missing) {
  if (keepers == Keepers::kThisUser && !KeepersOwn(layer, node, keepers)) return FolderResult::kNotOurs;
  return missing;
}

constexpr std::uint32_t kHiddenOrSystem = kAttributeHidden | kAttributeSystem;

// The emptied folder held as `held` makes way for a new one of ours: a handle someone opened on
// it before it was taken over keeps the rights it was opened with, such as changing its access
// list, and with them the power to add to it. Such a handle also keeps the old folder from going
// (or a new one from being made in its place), which is then the failure.
std::uint32_t Replace(FileLayer& layer, Node parent, std::wstring_view name, Node& held) {
  layer.Close(held);
  held = 0;
  const Opened old = layer.OpenEntry(parent, name, kShareNothing);
  if (old.node == 0) return old.error;
  const std::uint32_t failed = layer.Delete(old.node, old.attributes);
  layer.Close(old.node);
  if (failed != 0) return failed;
  const Opened made = layer.OpenFolder(parent, name, kShareReading, true);
  if (made.node != 0 && !made.made) layer.Close(made.node);
  if (!made.made) return made.error != 0 ? made.error : kErrorAccessDenied;
  held = made.node;
  return 0;
}

PreparedFolders Fail(FileLayer& layer, PreparedFolders prepared, FolderResult result, std::uint32_t error) {
  if (prepared.product != 0) layer.Close(prepared.product);
  if (prepared.base != 0) layer.Close(prepared.base);
  return {result, error, 0, 0};
}

}  // namespace

std::uint32_t EmptyFolder(FileLayer& layer, Node folder, Emptying what, std::wstring_view keep) {
  return Empty(layer, folder, what, keep, 0);
}

PreparedFolders PrepareFolders(FileLayer& layer, Node root, std::wstring_view base,
                               std::wstring_view product, std::wstring_view installer, Keepers keepers) {
  PreparedFolders prepared{FolderResult::kReady};
  const Opened baseFolder = OpenOwnFolder(layer, root, base);
  if (baseFolder.node == 0) {
    return {NotOurs(baseFolder) ? FolderResult::kNotOurs : FolderResult::kBaseMissing, baseFolder.error};
  }
  prepared.base = baseFolder.node;
  if ((baseFolder.attributes & kAttributeFolder) == 0) {
    // A plain file of the base folder's name: the product folder cannot be made inside it.
    return Fail(layer, prepared, InTheWay(layer, prepared.base, keepers, FolderResult::kProductMissing),
                kErrorAccessDenied);
  }
  if ((baseFolder.attributes & kHiddenOrSystem) != 0) {
    return Fail(layer, prepared, InTheWay(layer, prepared.base, keepers, FolderResult::kBaseMissing),
                kErrorAccessDenied);
  }
  if (!baseFolder.made && !IsTrusted(layer, prepared.base, keepers)) {
    // As the user, someone else's base folder is not taken over in place: a handle they opened
    // on it before keeps the rights it was opened with (to change its access list, to rename
    // or delete what is in it) after this run, and with them the power to put their own
    // setup.exe where this user's shortcut points. An elevated run has no other folder: the
    // base folder becomes the administrators', the files directly in it left as they are, and
    // the run holds it against such handles for as long as its setup.exe runs.
    if (keepers == Keepers::kThisUser) return Fail(layer, prepared, FolderResult::kNotOurs, kErrorAccessDenied);
    if (const std::uint32_t failed = layer.TakeOver(prepared.base)) {
      return Fail(layer, prepared, FolderResult::kNotOurs, failed);
    }
  }

  const Opened productFolder = OpenOwnFolder(layer, prepared.base, product);
  if (productFolder.node == 0) {
    return Fail(layer, prepared, NotOurs(productFolder) ? FolderResult::kNotOurs : FolderResult::kProductMissing,
                productFolder.error);
  }
  prepared.product = productFolder.node;
  if ((productFolder.attributes & kAttributeFolder) == 0 || (productFolder.attributes & kHiddenOrSystem) != 0) {
    return Fail(layer, prepared, InTheWay(layer, prepared.product, keepers, FolderResult::kProductMissing),
                kErrorAccessDenied);
  }
  if (productFolder.made) return prepared;
  // Judged before anything else: a setup.exe that someone else keeps open in their own folder
  // sends this user's run elsewhere instead of stopping it. One still running from a folder of
  // ours is left alone, and so is everything around it.
  const bool trusted = IsTrusted(layer, prepared.product, keepers);
  if (layer.ProgramRunning(prepared.product, installer)) {
    const bool ours = trusted || keepers == Keepers::kAdministrators || KeepersOwn(layer, prepared.product, keepers);
    return Fail(layer, prepared, ours ? FolderResult::kSetupStillOpen : FolderResult::kNotOurs, 0);
  }
  if (trusted) {
    EmptyFolder(layer, prepared.product, Emptying::kPlainFiles);
    return prepared;
  }
  // First the folder becomes ours, so that nobody else can add to it while it is emptied.
  std::uint32_t failed = layer.TakeOver(prepared.product);
  if (failed == 0) failed = EmptyFolder(layer, prepared.product, Emptying::kEverything);
  if (failed == 0) failed = Replace(layer, prepared.base, product, prepared.product);
  if (failed != 0) return Fail(layer, prepared, FolderResult::kNotOurs, failed);
  return prepared;
}

RunFolderChoice ChooseRunFolder(FileLayer& layer, Node fixedRoot, Node perUserRoot,
                                std::wstring_view base, std::wstring_view product,
                                std::wstring_view installer, Keepers keepers) {
  RunFolderChoice choice{RunFolder::kFixed, PrepareFolders(layer, fixedRoot, base, product, installer, keepers)};
  // An elevated run's setup.exe runs from the fixed folder or not at all.
  if (keepers == Keepers::kAdministrators) return choice;
  if (choice.prepared.result != FolderResult::kNotOurs || perUserRoot == 0) return choice;
  return {RunFolder::kPerUser, PrepareFolders(layer, perUserRoot, base, product, installer)};
}

}  // namespace folders
