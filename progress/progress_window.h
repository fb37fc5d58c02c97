// The progress window: a captioned window with a label and a smooth bar, run on a thread of its
// own while the main thread unpacks without pumping messages.
//
// The main thread starts it, sets texts, posts bar positions and closes it; the window thread
// (ProgressWindowThread) owns the window and its two controls and runs their message loop.
// Before StartProgressWindow is called, ModuleInstance must be stored and the common controls
// initialised, so that the bar's window class exists.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string_view>

namespace progress {

// The four words the two threads share. No lock guards them: each is written by one thread and
// read by the other, with release stores and acquire loads, so the label and bar handles are
// visible before the window handle that announces them.
//
// progressWindow: 0 before the run; the main thread stores -1 (kProgressStarting) before the
//   window thread exists; the window thread then stores the window's handle as the last step of
//   WM_CREATE, or 0 when it cannot create its window.
// progressBar, progressLabel: written by the window thread during WM_CREATE (0 for a control
//   that cannot be created); read by the main thread.
// progressThread: written by the main thread in StartProgressWindow (0 when the thread cannot
//   be created); read and closed by CloseProgressWindow on the main thread.
extern std::atomic<HWND> progressWindow;
extern std::atomic<HWND> progressBar;
extern std::atomic<HWND> progressLabel;
extern std::atomic<HANDLE> progressThread;

inline const HWND kProgressStarting = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));

// The label's handle, for the percentage texts.
inline HWND ProgressLabel() { return progressLabel.load(std::memory_order_acquire); }

// Starts the window thread and returns the progress window's handle once its WM_CREATE has
// finished (label and bar then exist, and the bar's range and first position are queued ahead
// of any position posted later). The main thread spins until then. Returns 0 when the thread
// cannot be created (after the message box "Could Not Create Progress Thread") or when the
// thread runs but cannot create its window; the unpacking then goes on without a window.
HWND StartProgressWindow(HWND parent);

// Sets the text of `window` (the caption of the progress window, or the label), cut at 1023
// bytes and at its first NUL. SetWindowTextA on another thread's window sends WM_SETTEXT, so
// this waits until the window thread has handled it.
void SetProgressText(HWND window, std::string_view text);

// Posts the bar's position; values below 1 are raised to 1. Always returns 0. Does nothing
// when there is no bar.
int32_t PostProgressPosition(int32_t position);

// Asks the window to close, spins until it is destroyed (not until its thread ends) and closes
// the thread's handle. Returns -1 when the handle was closed, 0 otherwise (no thread was ever
// started). Returns at once when the window is already gone or never existed.
BOOL CloseProgressWindow();

// The window thread's start routine (parameter: the parent window); returns 1 when its message
// loop ends, 0 when it could not create its window.
DWORD WINAPI ProgressWindowThread(LPVOID parent);

// The progress window's window procedure.
LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates a window whose position and size are given on the 640 x 480 design grid, scaled to
// the screen (read afresh on every call) with halves going to the even neighbour. The id goes
// where CreateWindowExA takes the menu. Returns the new window, or 0.
HWND CreateScaledWindow(std::string_view className, std::string_view text, DWORD style, int32_t x,
                        int32_t y, int32_t width, int32_t height, HWND parent, UINT id,
                        HINSTANCE instance, LPVOID creationData);

}  // namespace progress
