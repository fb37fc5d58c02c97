"""The Wine rig: runs Windows programs under Wine on a virtual X display, the real launcher's
end-to-end cases and the Windows test programs alike, and records what a user would see and
what a run leaves on disk. Its public face for test files and scripts is tests/e2e/harness.py.

Modules, one purpose each:
  product      the checkout and the names the launcher and its sample payload give
  timing       the clock shared with the watcher, and the time scale of every limit
  winpath      Unix paths through Wine's Z: drive, and a prefix's drive C from Unix
  wine         scripts/wine-env's environment, the template prefix and its copies, a prefix's
               processes
  processes    a started process, ended by the program that started it or by a later one
  display      the one Xvfb start
  session      the one implementation of a running Wine prefix
  overrun      what is saved when a program overruns its time limit
  window_log   the model of the watcher's JSON lines: windows, message boxes, processes
  watcher      starting boxwatch in a session and following its log, case by case
  staged       copies of the staged archive, taken through fanotify
  screenshots  taking pictures of the screen and judging whether a window is painted in them
  drive        a fresh drive C for each case of a running prefix
  case         one case's run, its Result and the CaseContext of its setup
  bench        the Bench: the build's launcher and helpers, the shared prefixes, variants
  cli          a test program's command line
  units        scripts/wine-session and scripts/wine-run (python3 tests/e2e/rig ...)

The Wine of a case, and why:
  - every Wine command runs inside its prefix's Xvfb display (no wineserver started without a
    display, which would leave the program unable to show windows);
  - windows are not left to a window manager (X11 Driver "Managed"="N", set in the template by
    scripts/wine-prefix): Xvfb has none, and a managed window's hiding would wait two seconds for
    it, and its caption would not be drawn;
  - run as root, the case's Wine processes lose root's right to write any file (setpriv), so a
    read-only file or a folder without write rights stays so, as for a user on Windows;
  - the staged-archive copies need fanotify, which needs root: without it Result.staged is None
    and Result.staged_error says why;
  - every time limit of the bench (a case's timeout_s and settle_s included) is multiplied by
    $TARLOOM_TIME_SCALE (default 1), for an emulated machine where everything takes longer.
"""
