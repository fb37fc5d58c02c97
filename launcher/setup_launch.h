// Starts the unpacked installer from the product folder, without waiting for it.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// The process-starting call. The launch takes it as a parameter so that a test can stand in
// for Windows' answer to an installer that asks for administrator rights, which Wine never
// gives.
using CreateProcessFunction = decltype(&::CreateProcessW);

// Makes `productFolder` the current folder and starts exactly `productFolder`\setup.exe, with
// that bare path as its command line, a normal window and nothing inherited. Both of the
// child's handles are closed at once. A folder that cannot be made current is passed over.
//
// When CreateProcessW says the installer needs elevation, it is started through the shell
// (ShellExecuteExW: same file, same folder, normal window), which shows the UAC prompt; a
// declined prompt is the user's choice and says nothing. Any other failure, a path longer than
// 259 bytes included, shows one message naming the installer and the system's reason.
void LaunchSetup(std::string_view productFolder,
                 CreateProcessFunction createProcess = ::CreateProcessW);

}  // namespace launcher
