// The main thread's side of the progress window: starting it, texts, positions, closing it.
#include "progress/progress_window.h"

#include <commctrl.h>

#include "progress/progress_layout.h"
#include "progress/progress_reporting.h"
#include "win32/ansi.h"
#include "win32/fixed_text.h"

namespace progress {

constinit std::atomic<HWND> progressWindow{nullptr};
constinit std::atomic<HWND> progressBar{nullptr};
constinit std::atomic<HWND> progressLabel{nullptr};
constinit std::atomic<HANDLE> progressThread{nullptr};

static_assert(std::atomic<HWND>::is_always_lock_free);
static_assert(std::atomic<HANDLE>::is_always_lock_free);

namespace {

bool IsRealWindowWord(HWND window) { return window != nullptr && window != kProgressStarting; }

}  // namespace

HWND StartProgressWindow(HWND parent) {
  // Stored before the thread exists; creating the thread orders it before the thread's stores.
  progressWindow.store(kProgressStarting, std::memory_order_relaxed);
  const HANDLE thread = ::CreateThread(nullptr, kThreadStackSize, ProgressWindowThread,
                                       parent, 0, nullptr);
  progressThread.store(thread, std::memory_order_release);
  if (thread == nullptr) {
    const win32::WidePath text = win32::AnsiToWide(kThreadFailureText);
    const win32::WidePath caption = win32::AnsiToWide(kThreadFailureCaption);
    ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
    return nullptr;
  }
  // Busy wait, no sleep: WM_CREATE takes a few milliseconds and the window thread publishes the
  // handle (or 0) as its last step.
  HWND window;
  while ((window = progressWindow.load(std::memory_order_acquire)) == kProgressStarting) {
  }
  return window;
}

void SetProgressText(HWND window, std::string_view text) {
  const win32::FixedText<win32::kWindowTextBuffer> buffer(text);
  // On the window thread's window this sends WM_SETTEXT, so it returns once the text is there.
  ::SetWindowTextA(window, buffer.c_str());
}

int32_t PostProgressPosition(int32_t position) {
  const HWND bar = progressBar.load(std::memory_order_acquire);
  // Without a bar there is nothing to post to; a post to a null window would instead queue a
  // stray message on this (the main) thread.
  if (bar != nullptr) {
    ::PostMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(BarPosition(position)), 0);
  }
  return 0;
}

BOOL CloseProgressWindow() {
  const HWND window = progressWindow.load(std::memory_order_acquire);
  if (IsRealWindowWord(window)) {
    // Posted behind every position, so the bar has them all before it goes. DefWindowProcA turns
    // SC_CLOSE into WM_CLOSE, whose default destroys the window; WM_DESTROY ends the loop.
    ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Wait for the window to be gone, not for the thread to end.
    while (::IsWindow(window)) {
    }
  }
  // Taken out of the word so that a second close cannot close a handle value reused since.
  const HANDLE thread = progressThread.exchange(nullptr, std::memory_order_acq_rel);
  if (thread == nullptr) return FALSE;
  return ::CloseHandle(thread) ? -1 : FALSE;
}

}  // namespace progress
