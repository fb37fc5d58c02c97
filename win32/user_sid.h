// The account the process runs as: its token's user SID, and the same as SDDL text.
#pragma once

#include <windows.h>

#include "win32/fixed_text.h"

namespace win32 {

class UserSid {
 public:
  UserSid();
  // Null when the token could not be read.
  PSID get() { return valid_ ? static_cast<PSID>(sid_) : nullptr; }
  // "S-1-5-21-..."; empty when the token could not be read.
  WideText<184> text();

 private:
  alignas(void*) BYTE sid_[SECURITY_MAX_SID_SIZE] = {};
  bool valid_ = false;
};

// Whether `owner` is this account or the administrators (whom an elevated run of this account
// names the owner of what it makes).
bool IsThisAccountOrAdministrators(PSID owner, UserSid& user);

}  // namespace win32
