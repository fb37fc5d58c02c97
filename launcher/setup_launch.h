// The unpacked installer's process, created suspended and started when the run says so.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32/handle.h"

namespace launcher {

// The process-starting call. A test can stand in for Windows' answer to an installer that asks
// for administrator rights, which Wine never gives.
using CreateProcessFunction = decltype(&::CreateProcessW);

class SetupProcess {
 public:
  // Makes `productFolder` the current folder and creates exactly `productFolder`\setup.exe,
  // suspended, with that bare path as its command line, a normal window and nothing inherited.
  // A folder that cannot be made current is passed over. Returns 0 or the system's error: a
  // path longer than 259 bytes is ERROR_FILENAME_EXCED_RANGE, one that asks for administrator
  // rights from a run that has none ERROR_ELEVATION_REQUIRED.
  DWORD Create(std::string_view productFolder, CreateProcessFunction createProcess = ::CreateProcessW);
  // Lets it run. Its thread's handle goes at once; its process's with Forget() or this object.
  void Resume();
  // Ends it before it ever ran.
  void Abandon();
  // Waits until it has ended.
  void WaitForEnd();
  // Nothing of the child is kept: it is neither waited for nor asked for its exit code.
  void Forget();

 private:
  win32::UniqueHandle process_;
  win32::UniqueHandle thread_;
};

}  // namespace launcher
