// The program's own module handle, stored by the main sequence as its first step and read by
// the progress window for its class, icon and windows. Written once, before the window thread
// exists (creating the thread orders the write before every read there).
#pragma once

#include <windows.h>

namespace win32 {

extern HINSTANCE ModuleInstance;

}  // namespace win32
