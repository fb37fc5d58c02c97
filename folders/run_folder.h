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
// folder made now is ours. One already there is judged on its handle: this user's, the
// administrators' or the system's and nobody else may change it (folder_trust.h), it is used,
// and the product folder loses its plain files; otherwise it is taken over and emptied (the base
// folder all but the product folder, which is judged on its own), and an emptied product folder
// is replaced by a new one of ours. A link in a folder's place is
// removed and a folder made. A hidden or system folder counts as missing; so does the product
// folder when a plain file has the base folder's name.
PreparedFolders PrepareFolders(FileLayer& layer, Node root, std::wstring_view base,
                               std::wstring_view product, std::wstring_view installer);

enum class RunFolder : std::uint8_t { kFixed, kPerUser };

struct RunFolderChoice {
  RunFolder folder = RunFolder::kFixed;
  PreparedFolders prepared;
};

// The fixed folder under `fixedRoot` when it can be made this user's; otherwise, when
// `perUserRoot` is known (not 0), the same folders in this user's own profile, prepared the
// same way. `folder` names the one the result is about.
//
// Other accounts are not given rights on the fixed folder to make it shareable: a right to
// delete or to change the access list would let them remove or swap the files of a run in
// progress. A folder in the user's profile is writable by nobody else.
RunFolderChoice ChooseRunFolder(FileLayer& layer, Node fixedRoot, Node perUserRoot,
                                std::wstring_view base, std::wstring_view product,
                                std::wstring_view installer);

}  // namespace folders
