// Answering the message boxes that the call under test shows, from a watcher thread, as a user
// would.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace own_boxes {

inline BOOL CALLBACK FindVisibleBox(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (process == ::GetCurrentProcessId() && lstrcmpW(className, L"#32770") == 0 &&
      ::IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// A message box of this program that is up, or null. A box shows only once its caption and
// text are in place, so they can be read at once.
inline HWND VisibleBox() {
  HWND found = nullptr;
  ::EnumWindows(FindVisibleBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

inline std::wstring Caption(HWND box) {
  wchar_t text[256] = {};
  ::GetWindowTextW(box, text, 256);
  return text;
}

inline std::wstring Text(HWND box) {
  wchar_t text[1024] = {};
  ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
  return text;
}

// Answers every box this program shows with OK, handing each to `seeBox` once first, until
// `returned` says the call under test is over. No time limit: a box that comes late (an emulated
// machine under load is slow) must still be answered, or the call waits on it for ever. A call
// that returns without the box it should show ends the watch too, and the test fails.
template <typename SeeBox>
void AnswerUntilReturned(const std::atomic<bool>& returned, SeeBox seeBox) {
  HWND answered = nullptr;
  for (;;) {
    // Read before the look: once the call has returned, every box it showed is gone.
    const bool over = returned.load();
    const HWND box = VisibleBox();
    if (box == nullptr && over) return;
    // A box stays up a moment after its answer: seen and answered once.
    if (box != nullptr && box != answered) {
      seeBox(box);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      answered = box;
    }
    ::Sleep(1);
  }
}

}  // namespace own_boxes
