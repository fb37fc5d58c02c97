// One run at a time on the machine: the product folder is the machine's, so two runs would
// clean and unpack it at once.
#pragma once

namespace launcher {

// Takes the machine-wide run lock (a named mutex in the global namespace) for the rest of the
// process's life. When another run holds it (in this session or another user's), brings that
// run's window to the front, or says that setup is already running when it has none, and
// returns false; the caller then touches nothing and ends.
bool TakeTheRun();

}  // namespace launcher
