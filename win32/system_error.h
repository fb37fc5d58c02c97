// The system's own words for an error code, for messages that say why something failed.
#pragma once

#include <windows.h>

#include "win32/fixed_text.h"

namespace win32 {

using ErrorText = WideText<512>;

// FormatMessageW's text for `error` in the user's language, without its line break; "error N"
// when the system has no text for it.
ErrorText SystemErrorText(DWORD error);

}  // namespace win32
