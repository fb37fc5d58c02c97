#include "launcher/folder_security_win.h"

#include <aclapi.h>
#include <sddl.h>

#include "launcher/folder_trust.h"
#include "win32/error_mode.h"
#include "win32/fixed_text.h"
#include "win32/handle.h"

namespace launcher {

namespace {

// The folder itself, never what a link in its place points to.
constexpr DWORD kOpenFolderItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A planted tree may be deep; the emptying does not go deeper than this (the run then stops).
constexpr int kDeepestFolder = 32;
// Access lists longer than this are not ours.
constexpr std::size_t kMostEntries = 64;

using FolderPath = win32::WideText<win32::kLongPath>;

class UserSid {
 public:
  UserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    win32::UniqueHandle owner(token);
    alignas(TOKEN_USER) BYTE info[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, info, sizeof info, &size)) return;
    valid_ = ::CopySid(sizeof sid_, sid_, reinterpret_cast<TOKEN_USER*>(info)->User.Sid) != FALSE;
  }
  PSID get() { return valid_ ? static_cast<PSID>(sid_) : nullptr; }

 private:
  alignas(void*) BYTE sid_[SECURITY_MAX_SID_SIZE] = {};
  bool valid_ = false;
};

Trustee Classify(PSID sid, PSID user) {
  if (::EqualSid(sid, user)) return Trustee::kCurrentUser;
  if (::IsWellKnownSid(sid, WinLocalSystemSid)) return Trustee::kSystem;
  if (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Trustee::kAdministrators;
  if (::IsWellKnownSid(sid, WinCreatorOwnerSid) || ::IsWellKnownSid(sid, WinCreatorGroupSid)) {
    return Trustee::kCreator;
  }
  return Trustee::kOther;
}

// The folder's owner and access list, put to the trust test. A folder whose security cannot
// be read is not trusted.
bool IsTrusted(HANDLE folder, PSID user) {
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  AccessEntry entries[kMostEntries];
  std::size_t count = 0;
  bool readable = owner != nullptr && (list == nullptr || list->AceCount <= kMostEntries);
  for (WORD i = 0; readable && list != nullptr && i < list->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(list, i, &ace)) {
      readable = false;
      break;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    AccessEntry& entry = entries[count++];
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      // Allowed and denied entries share their layout: header, mask, SID.
      auto* simple = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry = {header->AceType == ACCESS_ALLOWED_ACE_TYPE, simple->Mask,
               Classify(&simple->SidStart, user)};
    } else {
      // Any other kind is read as the worst it could be.
      entry = {true, 0xFFFFFFFF, Trustee::kOther};
    }
  }
  const bool trusted =
      readable && IsTrustedFolder(Classify(owner, user), list != nullptr, {entries, count});
  ::LocalFree(descriptor);
  return trusted;
}

FolderPath Join(std::wstring_view folder, std::wstring_view name) {
  FolderPath path(folder);
  path.Append(L'\\').Append(name);
  return path;
}

// Deletes everything inside `folder` but the real subfolder `keep`, links removed themselves.
DWORD EmptyFolder(std::wstring_view folder, std::wstring_view keep, int depth) {
  if (depth > kDeepestFolder) return ERROR_FILENAME_EXCED_RANGE;
  const FolderPath pattern = Join(folder, L"*");
  if (pattern.cut()) return ERROR_FILENAME_EXCED_RANGE;
  WIN32_FIND_DATAW entry;
  win32::UniqueFind search(::FindFirstFileW(pattern.c_str(), &entry));
  if (!search) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
  }
  do {
    const std::wstring_view name(entry.cFileName);
    if (name == L"." || name == L"..") continue;
    const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder && !isLink && !keep.empty() && ::lstrcmpiW(entry.cFileName, FolderPath(keep).c_str()) == 0) {
      continue;
    }
    const FolderPath path = Join(folder, name);
    if (path.cut()) return ERROR_FILENAME_EXCED_RANGE;
    BOOL removed;
    if (isLink) {
      // The link itself goes; what it points to is never touched.
      removed = isFolder ? ::RemoveDirectoryW(path.c_str()) : ::DeleteFileW(path.c_str());
    } else if (isFolder) {
      if (const DWORD error = EmptyFolder(path.view(), {}, depth + 1)) return error;
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      removed = ::RemoveDirectoryW(path.c_str());
    } else {
      ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      removed = ::DeleteFileW(path.c_str());
    }
    if (!removed) return ::GetLastError();
  } while (::FindNextFileW(search.get(), &entry));
  return 0;
}

win32::UniqueFile OpenFolderItself(const wchar_t* folder) {
  // With the rights to take it over when this user has them, else just to read its security.
  win32::UniqueFile file(::CreateFileW(folder, READ_CONTROL | WRITE_DAC | WRITE_OWNER, kShareAll,
                                       nullptr, OPEN_EXISTING, kOpenFolderItself, nullptr));
  if (!file) {
    file.reset(::CreateFileW(folder, READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                             kOpenFolderItself, nullptr));
  }
  return file;
}

}  // namespace

ProtectedFolderSecurity::ProtectedFolderSecurity() {
  UserSid user;
  LPWSTR sidText = nullptr;
  if (user.get() == nullptr || !::ConvertSidToStringSidW(user.get(), &sidText)) return;
  win32::WideText<256> list(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;");
  list.Append(sidText).Append(L")(A;OICI;0x1200a9;;;BU)");
  win32::WideText<320> owned(L"O:");
  owned.Append(sidText).Append(list.view());
  ::LocalFree(sidText);
  if (list.cut() || owned.cut()) return;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(list.c_str(), SDDL_REVISION_1,
                                                            &descriptor_, nullptr)) {
    descriptor_ = nullptr;
    return;
  }
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(owned.c_str(), SDDL_REVISION_1,
                                                            &takeover_, nullptr)) {
    takeover_ = nullptr;
  }
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor_;
  attributes_.bInheritHandle = FALSE;
}

ProtectedFolderSecurity::~ProtectedFolderSecurity() {
  if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  if (takeover_ != nullptr) ::LocalFree(takeover_);
}

DWORD SecureExistingFolder(std::wstring_view folderText, ProtectedFolderSecurity& security,
                           std::wstring_view keep) {
  const FolderPath folder(folderText);
  if (folder.cut()) return ERROR_FILENAME_EXCED_RANGE;
  win32::QuietErrorMode quiet;
  win32::UniqueFile handle = OpenFolderItself(folder.c_str());
  if (!handle) return ::GetLastError();
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return ::GetLastError();
  // A plain file of the folder's name: the existence test already let it pass, and making the
  // folder inside it fails later, as it always has.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;

  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link where the folder should be: the link goes, and a folder of our own takes its place.
    handle.reset();
    if (!::RemoveDirectoryW(folder.c_str())) return ::GetLastError();
    if (!::CreateDirectoryW(folder.c_str(), security.attributes())) return ::GetLastError();
    if (security.attributes() != nullptr) return 0;
    handle = OpenFolderItself(folder.c_str());
    if (!handle) return ::GetLastError();
  }

  UserSid user;
  if (user.get() != nullptr && IsTrusted(handle.get(), user.get())) return 0;
  // Nothing in it can be trusted: first the folder becomes ours, so that nobody else can add
  // to it while it is emptied. On the handle, so that the rights are set on exactly this
  // folder and not passed down into what is in it.
  if (security.takeover() == nullptr) return ERROR_INVALID_SECURITY_DESCR;
  if (!::SetKernelObjectSecurity(handle.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 security.takeover())) {
    return ::GetLastError();
  }
  handle.reset();
  return EmptyFolder(folder.view(), keep, 0);
}

bool EarlierSetupStillOpen(std::wstring_view productFolder) {
  FolderPath path(productFolder);
  path.Append(L"\\SETUP.EXE");
  win32::QuietErrorMode quiet;
  win32::UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_DATA | SYNCHRONIZE, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace launcher
