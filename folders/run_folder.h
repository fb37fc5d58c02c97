// The folder a run installs into: its base and product folders opened, judged, made this user's
// or passed over, and emptied, every step on a handle the run holds. Portable: the steps are
// written against a small file layer (FileLayer), so their order, the sharing they ask for and
// the choice of folder are tested natively with a stand-in; the Win32 layer is
// nt_file_layer_win.h.
//
// From the moment a folder is judged until setup.exe has started, the run holds the base and
// product folders open sharing reading only, so nobody else can rename, remove or replace them
// meanwhile (adding to them is for their access list to refuse, which is this user's); what is
// in them is opened, judged and deleted through handles relative to them, a link always as
// itself, so nothing is ever reached through a link, even one made mid-run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "folders/folder_trust.h"
#include "win32/fixed_text.h"

namespace launcher {

// An open file or folder of the layer; 0 is none.
using Node = std::uintptr_t;
// A name inside a folder, as the file system gives it.
using EntryName = win32::WideText<255>;

// The attribute bits the rules read, with the system's values.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeFolder = 0x10;
inline constexpr std::uint32_t kAttributeLink = 0x400;  // any reparse point: junction, link, mount

// Sharing asked for, with the system's FILE_SHARE_* values.
inline constexpr std::uint32_t kShareNothing = 0;
inline constexpr std::uint32_t kShareReading = 0x1;

// The system's errors the rules tell apart.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorTooDeep = 206;  // ERROR_FILENAME_EXCED_RANGE
inline constexpr std::uint32_t kErrorInvalidOwner = 1307;
inline constexpr std::uint32_t kErrorPrivilegeNotHeld = 1314;

struct Opened {
  Node node = 0;
  std::uint32_t error = 0;       // the system's reason when node is 0
  std::uint32_t attributes = 0;  // of what was opened, read on its handle
  bool made = false;             // made just now, with the launcher's own access list
};

// A folder's owner and access list, as the trust rule reads them.
struct FolderSecurity {
  static constexpr std::size_t kMostEntries = 64;  // longer lists are not ours
  bool readable = false;
  Trustee owner = Trustee::kOther;
  bool hasAccessList = false;
  AccessEntry entries[kMostEntries] = {};
  std::size_t count = 0;
};

class FileLayer {
 public:
  // Opens the folder `name` inside `parent` (the link itself when one is there, never what it
  // points to) sharing `sharing`, with the rights to list, add to and delete from it and, when
  // this user has them, to take it over. When nothing is there and `make`, makes it first with
  // the launcher's access list (`made`).
  virtual Opened OpenFolder(Node parent, std::wstring_view name, std::uint32_t sharing, bool make) = 0;
  // Opens the entry `name` of `folder` to delete it, the link itself when it is one.
  virtual Opened OpenEntry(Node folder, std::wstring_view name, std::uint32_t sharing) = 0;
  // The next entry of `folder`'s listing ("." and ".." among them), from its start when
  // `restart`. False at the end, or on a failure, whose reason is then in `error`.
  virtual bool NextEntry(Node folder, bool restart, EntryName& name, std::uint32_t& attributes,
                         std::uint32_t& error) = 0;
  virtual void ReadSecurity(Node folder, FolderSecurity& security) = 0;
  // Makes `folder` this user's with the launcher's access list: that folder alone, nothing in it.
  virtual std::uint32_t TakeOver(Node folder) = 0;
  // Marks what `node` is open on for deletion (done when it is closed), a read-only one too.
  virtual std::uint32_t Delete(Node node, std::uint32_t attributes) = 0;
  // Whether the program `name` in `folder` is running: its file cannot be opened for writing.
  virtual bool ProgramRunning(Node folder, std::wstring_view name) = 0;
  virtual void Close(Node node) = 0;

 protected:
  ~FileLayer() = default;
};

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

}  // namespace launcher
