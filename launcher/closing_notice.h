// The closing notice: tells the user to use the desktop shortcut if the installer's screen does
// not come up.
#pragma once

namespace launcher {

// A system-modal box (topmost, OK button, no icon, no owner window). Returns when the user has
// dismissed it.
void ShowClosingNotice();

}  // namespace launcher
