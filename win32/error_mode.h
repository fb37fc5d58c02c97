// Switches the system's critical-error and open-file error boxes off for one operation, so that
// a missing or empty drive makes the call fail quietly instead of showing a system dialog.
#pragma once

#include <windows.h>

namespace win32 {

class QuietErrorMode {
 public:
  QuietErrorMode() noexcept : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietErrorMode() { ::SetErrorMode(previous_); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;

 private:
  UINT previous_;
};

}  // namespace win32
