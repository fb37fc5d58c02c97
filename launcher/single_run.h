// One run at a time: the product folder is emptied and rewritten by a run, so two runs would
// clean and unpack it at once, and a run must not rewrite it under the installer an earlier
// run started from it.
#pragma once

namespace launcher {

// Takes this session's run lock (a named mutex in the session's namespace) for the rest of the
// process's life. When another run of this account in this session holds it, brings that run's
// window to the front, or says that setup is already running when it has none, and returns
// false; the caller then touches nothing and ends. A lock of that name that another account
// made first stops nothing: the run then goes on without one, kept apart from other runs by the
// folder handles it holds, as runs in other sessions are.
bool TakeTheRun();

// Says that setup is already running (the box of TakeTheRun), for a run that finds the
// installer of an earlier run still open in its product folder.
void SayAlreadyRunning();

}  // namespace launcher
