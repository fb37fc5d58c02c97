// Whether an existing working folder can be used as it is. Portable: the rule is tested
// natively; the Win32 side (folder_security_win.h) reads the folder's owner and access list.
//
// Any signed-in user may make folders in the root of the system drive, and what a user makes
// there lets every other account change it. A folder that someone other than this user, the
// administrators or the system owns or may write to can hold anything, such as a DLL that a
// setup.exe started from it would load.
#pragma once

#include <cstdint>
#include <span>

namespace folders {

enum class Trustee : std::uint8_t {
  kSystem,
  kAdministrators,
  kCurrentUser,
  kCreator,  // CREATOR OWNER / CREATOR GROUP: stand-ins that only matter to whoever may create
  kOther,
};

// One entry of a folder's access list, as far as the rule needs it.
struct AccessEntry {
  bool allows = false;  // an allow entry (deny entries never widen access)
  std::uint32_t mask = 0;
  Trustee who = Trustee::kOther;
};

// Rights that change a folder or what is in it: adding files or folders, deleting children,
// writing attributes or extended attributes, deleting, and changing the access list or owner;
// generic write and generic all include them.
inline constexpr std::uint32_t kFolderWriteRights =
    0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 | 0x00000100 |  // add file/subfolder, EA, delete child, attributes
    0x00010000 | 0x00040000 | 0x00080000 |                            // DELETE, WRITE_DAC, WRITE_OWNER
    0x10000000 | 0x40000000;                                          // GENERIC_ALL, GENERIC_WRITE

// Whose folders a run may use as they are.
enum class Keepers : std::uint8_t {
  kThisUser,        // a run as the user: this user's, the administrators' or the system's
  kAdministrators,  // an elevated run, whose setup.exe runs with administrator rights: the
                    // administrators' or the system's alone. This account's own programs run
                    // without those rights too, so a folder they may change is no safer than
                    // anyone else's.
};

// True when the folder is owned by one of the `keepers`, and no allow entry (including those
// that only pass to what is made inside) gives anyone else a right to change it. A folder
// without an access list (`hasAccessList` false) lets everyone do everything.
bool IsTrustedFolder(Trustee owner, bool hasAccessList, std::span<const AccessEntry> entries,
                     Keepers keepers = Keepers::kThisUser);

// Whether `who` is one of the `keepers`.
bool IsKeeper(Trustee who, Keepers keepers);

}  // namespace folders
