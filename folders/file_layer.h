// The file layer the install folders are handled through: every open relative to a held
// folder, a link always opened as itself. Portable: the rules above it (run_folder.h,
// entry_writer.h) are tested natively with a stand-in; the Win32 layer is nt_file_layer_win.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fileops/listing_rules.h"
#include "folders/folder_trust.h"
#include "win32/fixed_text.h"

namespace folders {

// An open file or folder of the layer; 0 is none.
using Node = std::uintptr_t;
// A name inside a folder, as the file system gives it.
using EntryName = win32::WideText<255>;

// The attribute bits the rules read: the listing's, and the one it never needs.
using fileops::kAttributeHidden;
using fileops::kAttributeReadOnly;
using fileops::kAttributeSystem;
inline constexpr std::uint32_t kAttributeFolder = fileops::kAttributeDirectory;
inline constexpr std::uint32_t kAttributeLink = 0x400;  // any reparse point: junction, link, mount

// Sharing asked for, with the system's FILE_SHARE_* values.
inline constexpr std::uint32_t kShareNothing = 0;
inline constexpr std::uint32_t kShareReading = 0x1;

// The system's errors the rules tell apart.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorWriteFault = 29;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorPathTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
inline constexpr std::uint32_t kErrorFileInvalid = 1006;
inline constexpr std::uint32_t kErrorInvalidOwner = 1307;
inline constexpr std::uint32_t kErrorPrivilegeNotHeld = 1314;

struct Opened {
  Node node = 0;
  std::uint32_t error = 0;       // the system's reason when node is 0
  std::uint32_t attributes = 0;  // of what was opened, read on its handle
  bool made = false;             // made just now, with the launcher's own access list
};

// What an open file is: its number on its volume (two handles on one file give the same), and
// how many names it has (hard links share its data and its attributes).
struct FileFacts {
  std::uint64_t identity = 0;
  std::uint32_t links = 0;
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

  // The unpacked entries (entry_writer.h).
  // Makes the file `name` in `folder`, for writing and deleting, sharing nothing. Never opens
  // what is there already, whatever it is (a link planted since included): that is refused.
  virtual Opened MakeFile(Node folder, std::wstring_view name) = 0;
  // Appends to the file; a write that stops short is a full disk (kErrorDiskFull).
  virtual std::uint32_t Append(Node file, const std::uint8_t* data, std::size_t size) = 0;
  // Opens the file `name` of `folder` itself (not what a link points to) for reading, sharing
  // reading only; a folder is refused.
  virtual Opened OpenForHolding(Node folder, std::wstring_view name) = 0;
  virtual std::uint32_t ReadFacts(Node node, FileFacts& facts) = 0;
  // Sets the attributes of what `node` is open on: the read-only, hidden, system and archive
  // bits; the file's, whichever of its names it was opened by.
  virtual std::uint32_t SetAttributes(Node node, std::uint32_t attributes) = 0;
  // Marks a read-only file for deletion as it is, its attributes untouched, where the system
  // can (Windows 10 1809 on); refused elsewhere.
  virtual std::uint32_t DeleteReadOnly(Node node) = 0;

 protected:
  ~FileLayer() = default;
};

}  // namespace folders
