// One run at a time: the product folder is emptied and rewritten by a run, so two runs would
// clean and unpack it at once, and a run must not rewrite it under the installer an earlier
// run started from it.
#pragma once

namespace launcher {

// Takes this session's run lock (a named mutex in the session's namespace) for the rest of the
// process's life. When another run of this session holds it, brings that run's window to the
// front, or says that setup is already running when it has none, and returns false; the caller
// then touches nothing and ends. Runs in other sessions are kept apart by the folder handles a
// run holds (working_folders.h); a lock of the same name that another account made first does
// not stop the run.
bool TakeTheRun();

// Says that setup is already running (the box of TakeTheRun), for a run that finds the
// installer of an earlier run still open in its product folder.
void SayAlreadyRunning();

}  // namespace launcher
