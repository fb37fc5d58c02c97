// The window thread: registers the class, creates the window and its two controls, and runs the
// message loop that keeps them painted while the main thread unpacks.
#include <windows.h>
#include <commctrl.h>

#include "progress/progress_geometry.h"
#include "progress/progress_layout.h"
#include "progress/progress_window.h"
#include "win32/fixed_text.h"
#include "win32/module_instance.h"

namespace progress {

static_assert(kWindowStyle == (WS_VISIBLE | WS_CAPTION));
static_assert((kWindowStyle & (WS_SYSMENU | WS_THICKFRAME)) == 0);
static_assert(kClassStyle == (CS_HREDRAW | CS_VREDRAW));
static_assert(kLabel.style == (WS_CHILD | WS_VISIBLE | SS_LEFT));
static_assert(kBar.style == (WS_CHILD | WS_VISIBLE | PBS_SMOOTH));

namespace {

constexpr WORD kArrowCursor = 32512;  // IDC_ARROW, spelled out: the macro follows UNICODE

// The one place both kinds of window are created: extended style 0, the rest unchanged.
HWND CreateWindowStep(const char* className, const char* text, DWORD style, int32_t x, int32_t y,
                      int32_t width, int32_t height, HWND parent, HMENU menu, HINSTANCE instance,
                      LPVOID creationData) {
  return ::CreateWindowExA(0, className, text, style, x, y, width, height, parent, menu, instance,
                           creationData);
}

void RegisterProgressClass(const char* className) {
  WNDCLASSA windowClass = {};
  windowClass.style = kClassStyle;
  windowClass.lpfnWndProc = ProgressWindowProc;
  windowClass.hInstance = win32::ModuleInstance;
  // A missing icon leaves the class without one; nothing else depends on it.
  windowClass.hIcon = ::LoadIconA(win32::ModuleInstance, kIconName);
  windowClass.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(kArrowCursor));
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = className;
  // Fails harmlessly when the class is already registered: it stays so until the process ends.
  ::RegisterClassA(&windowClass);
}

HWND CreateControl(HWND window, const ControlLayout& layout) {
  return CreateScaledWindow(layout.className, "", layout.style, layout.x, layout.y, layout.width,
                            layout.height, window, layout.id, win32::ModuleInstance, nullptr);
}

}  // namespace

HWND CreateScaledWindow(std::string_view className, std::string_view text, DWORD style, int32_t x,
                        int32_t y, int32_t width, int32_t height, HWND parent, UINT id,
                        HINSTANCE instance, LPVOID creationData) {
  const int32_t cx = ::GetSystemMetrics(SM_CXSCREEN);
  const int32_t cy = ::GetSystemMetrics(SM_CYSCREEN);
  const Rect scaled = ScaledRect(x, y, width, height, cx, cy);
  const win32::FixedText<win32::kControlBuffer> classBuffer(className);
  const win32::FixedText<win32::kControlBuffer> textBuffer(text);
  return CreateWindowStep(classBuffer.c_str(), textBuffer.c_str(), style, scaled.x, scaled.y,
                          scaled.width, scaled.height, parent,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance,
                          creationData);
}

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const HWND label = CreateControl(window, kLabel);
      progressLabel.store(label, std::memory_order_release);
      const HWND bar = CreateControl(window, kBar);
      progressBar.store(bar, std::memory_order_release);
      // Queued now, so they reach the bar ahead of any position the main thread posts once it
      // has seen the window's handle. A bar that could not be created gets nothing: a post to a
      // null window would land in this thread's own queue.
      if (bar != nullptr) {
        ::PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(kBarLow, kBarHigh));
        ::PostMessageA(bar, PBM_SETPOS, kBarFirstPosition, 0);
      }
      // Last: the main thread takes this store as the sign that both control words are final.
      progressWindow.store(window, std::memory_order_release);
      break;
    }
    case WM_PAINT: {
      // Nothing is drawn: the class brush paints the background and the controls paint themselves.
      PAINTSTRUCT paint;
      ::BeginPaint(window, &paint);
      ::EndPaint(window, &paint);
      break;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI ProgressWindowThread(LPVOID parameter) {
  const HWND parent = static_cast<HWND>(parameter);
  const win32::FixedText<win32::kClassNameBuffer> className(kClassName);
  RegisterProgressClass(className.c_str());

  const Rect rect =
      ProgressWindowRect(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
  const HWND window =
      CreateWindowStep(className.c_str(), kFirstCaption, kWindowStyle, rect.x,
                       rect.y, rect.width, rect.height, parent, nullptr, win32::ModuleInstance, nullptr);
  if (window == nullptr) {
    // The main thread spins until the word leaves -1: tell it there is no window rather than
    // leave it waiting for ever. (Only -1 is replaced: a handle published by a WM_CREATE that
    // ran is never taken back.)
    HWND starting = kProgressStarting;
    progressWindow.compare_exchange_strong(starting, nullptr, std::memory_order_release,
                                           std::memory_order_relaxed);
    return 0;
  }

  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);

  // GetMessageA returns -1 on failure; that ends the loop too. Leaving the thread destroys its
  // windows, so a main thread waiting for the window to go is released either way.
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return 1;
}

}  // namespace progress
