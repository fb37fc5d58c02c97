// The folder a run installs into: its base and product folders opened, judged, made this user's
// or passed over, and emptied, every step on a handle the run holds, through the file layer
// (file_layer.h).
//
// From the moment a folder is judged until setup.exe has started, the run holds the base and
// product folders open sharing reading only, so nobody else can rename, remove or replace them
// meanwhile (adding to them is for their access list to refuse, which is this user's); what is
// in them is opened, judged and deleted through handles relative to them, a link always as
// itself, so nothing is ever reached through a link, even one made mid-run.
#pragma once

#include <cstdint>
#include <string_view>

#include "folders/file_layer.h"

namespace folders {

enum class Emptying : std::uint8_t {
  kPlainFiles,  // this user's folder: its plain files; read-only, hidden, system files and
                // subfolders stay, and a failed delete is passed over
  kEverything,  // a folder just taken over: everything in it, the first failure stops
};

// Empties the held `folder` as `what` says, all but the real subfolder `keep`. Every entry is
// opened before it is judged; a link is deleted itself, never followed, even when it was a real
// folder at listing time; a subfolder is judged on its own handle before it is listed. Returns
// 0, or the reason the emptying stopped.
std::uint32_t EmptyFolder(FileLayer& layer, Node folder, Emptying what, std::wstring_view keep = {});

enum class FolderResult : std::uint8_t {
  kReady,           // both folders held and made ready: the run installs here
  kSetupStillOpen,  // the installer of an earlier run is still running from it: nothing touched
  kNotOurs,         // cannot be made this user's (`error` says why): another folder is tried
  kBaseMissing,     // no usable base folder: "Unable to create" it
  kProductMissing,  // no usable product folder: "Unable to create" it
};

struct PreparedFolders {
  FolderResult result = FolderResult::kNotOurs;
  std::uint32_t error = 0;
  Node base = 0;  // held when ready, else closed
  Node product = 0;
};

// Opens (or makes) `base` in `root` and `product` in it, both held sharing reading only. A
// folder made now is ours (made with the layer's access list: for `keepers`). One already there
// is judged on its handle (folder_trust.h) before anything else, and:
// - a base folder that is not the keepers' is, as the user, passed over (kNotOurs: another
//   folder is tried); an elevated run takes it over, the files directly in it left alone;
// - a product folder that is the keepers' loses its plain files, unless the installer of an
//   earlier run is still running from it (kSetupStillOpen, nothing touched); one that is not is
//   passed over while someone else's setup.exe runs from it, else taken over, emptied and
//   replaced by a new one of ours;
// - a link in a folder's place is removed and a folder made;
// - a plain file or a hidden or system folder in a folder's place counts as that folder missing
//   (a plain file with the base folder's name: the product folder), unless, as the user,
//   someone other than the keepers made it: then another folder is tried.
PreparedFolders PrepareFolders(FileLayer& layer, Node root, std::wstring_view base,
                               std::wstring_view product, std::wstring_view installer,
                               Keepers keepers = Keepers::kThisUser);

enum class RunFolder : std::uint8_t { kFixed, kPerUser };

struct RunFolderChoice {
  RunFolder folder = RunFolder::kFixed;
  PreparedFolders prepared;
};

// The fixed folder under `fixedRoot` when it can be made this user's; otherwise, when
// `perUserRoot` is known (not 0), the same folders in this user's own profile, prepared the
// same way. `folder` names the one the result is about. An elevated run (kAdministrators) uses
// the fixed folder or none: a folder in the profile is one this account's own programs, which
// run without administrator rights, may change.
//
// Other accounts are not given rights on the fixed folder to make it shareable: a right to
// delete or to change the access list would let them remove or swap the files of a run in
// progress. A folder in the user's profile is writable by nobody else.
RunFolderChoice ChooseRunFolder(FileLayer& layer, Node fixedRoot, Node perUserRoot,
                                std::wstring_view base, std::wstring_view product,
                                std::wstring_view installer, Keepers keepers = Keepers::kThisUser);

}  // namespace folders
