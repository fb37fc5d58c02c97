#include "folders/folder_security_win.h"

#include <aclapi.h>
#include <sddl.h>

#include "win32/fixed_text.h"
#include "win32/handle.h"
#include "win32/user_sid.h"

namespace folders {

namespace {

Trustee Classify(PSID sid, PSID user) {
  if (::EqualSid(sid, user)) return Trustee::kCurrentUser;
  if (::IsWellKnownSid(sid, WinLocalSystemSid)) return Trustee::kSystem;
  if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Trustee::kAdministrators;
  if (::IsWellKnownSid(sid, WinCreatorOwnerSid) || ::IsWellKnownSid(sid, WinCreatorGroupSid)) {
    return Trustee::kCreator;
  }
  return Trustee::kOther;
}

}  // namespace

ProtectedFolderSecurity::ProtectedFolderSecurity(Keepers keepers) {
  win32::WideText<256> list(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  win32::WideText<320> owned(L"O:");
  if (keepers == Keepers::kAdministrators) {
    // Made and owned by the administrators: an elevated process may name them its owner.
    owned.Append(L"BA");
  } else {
    win32::UserSid user;
    const auto sidText = user.text();
    if (sidText.empty()) return;
    list.Append(L"(A;OICI;FA;;;").Append(sidText.view()).Append(L")");
    owned.Append(sidText.view());
  }
  list.Append(L"(A;OICI;0x1200a9;;;BU)");
  owned.Append(list.view());
  if (list.cut() || owned.cut()) return;
  // An elevated run makes its folders with the owner named; a run as the user gets its own
  // token's owner, itself.
  const wchar_t* made = keepers == Keepers::kAdministrators ? owned.c_str() : list.c_str();
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(made, SDDL_REVISION_1, &descriptor_, nullptr)) {
    descriptor_ = nullptr;
    return;
  }
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(owned.c_str(), SDDL_REVISION_1,
                                                            &takeover_, nullptr)) {
    takeover_ = nullptr;
  }
}

ProtectedFolderSecurity::~ProtectedFolderSecurity() {
  if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  if (takeover_ != nullptr) ::LocalFree(takeover_);
}

void ReadFolderSecurity(HANDLE folder, FolderSecurity& security) {
  security = FolderSecurity();
  win32::UserSid user;
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (user.get() == nullptr ||
      ::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  bool readable = owner != nullptr && (list == nullptr || list->AceCount <= FolderSecurity::kMostEntries);
  for (WORD i = 0; readable && list != nullptr && i < list->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(list, i, &ace)) {
      readable = false;
      break;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry& entry = security.entries[security.count++];
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      // Allowed and denied entries share their layout: header, mask, SID.
      auto* simple = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry = {header->AceType == ACCESS_ALLOWED_ACE_TYPE, simple->Mask,
               Classify(&simple->SidStart, user.get())};
    } else {
      // Any other kind is read as the worst it could be.
      entry = {true, 0xFFFFFFFF, Trustee::kOther};
    }
  }
  security.readable = readable;
  security.owner = readable ? Classify(owner, user.get()) : Trustee::kOther;
  security.hasAccessList = list != nullptr;
  ::LocalFree(descriptor);
}

DWORD TakeOverFolder(HANDLE folder, const ProtectedFolderSecurity& security) {
  if (security.takeover() == nullptr) return ERROR_INVALID_SECURITY_DESCR;
  // On the handle, so that the rights are set on exactly this folder.
  if (!::SetKernelObjectSecurity(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 security.takeover())) {
    return ::GetLastError();
  }
  return 0;
}

}  // namespace folders
