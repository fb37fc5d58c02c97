// Starts the unpacked installer from the product folder, without waiting for it.
#pragma once

#include <string_view>

namespace launcher {

// Makes `productFolder` the current folder and starts exactly `productFolder`\setup.exe, with
// that bare path as its command line, a normal window and nothing inherited. Both of the
// child's handles are closed at once. Nothing is reported: a folder that cannot be made
// current, or an installer that cannot be started (missing, or a path longer than 259 bytes),
// is passed over.
void LaunchSetup(std::string_view productFolder);

}  // namespace launcher
