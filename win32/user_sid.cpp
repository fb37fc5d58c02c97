#include "win32/user_sid.h"

#include <sddl.h>

#include "win32/handle.h"

namespace win32 {

UserSid::UserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  UniqueHandle owner(token);
  alignas(TOKEN_USER) BYTE info[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenUser, info, sizeof info, &size)) return;
  valid_ = ::CopySid(sizeof sid_, sid_, reinterpret_cast<TOKEN_USER*>(info)->User.Sid) != FALSE;
}

WideText<184> UserSid::text() {
  WideText<184> text;
  LPWSTR converted = nullptr;
  if (get() == nullptr || !::ConvertSidToStringSidW(get(), &converted)) return text;
  text.Append(converted);
  ::LocalFree(converted);
  if (text.cut()) return {};
  return text;
}

bool IsThisAccountOrAdministrators(PSID owner, UserSid& user) {
  if (owner == nullptr) return false;
  return (user.get() != nullptr && ::EqualSid(owner, user.get())) ||
         ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
}

}  // namespace win32
