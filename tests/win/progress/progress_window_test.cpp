// The progress window on its thread, observed from the main thread as the unpacking sees it.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

#include "progress/progress_geometry.h"
#include "progress/progress_layout.h"
#include "progress/progress_window.h"
#include "progress/progress_window_report.h"
#include "win32/module_instance.h"
#include "win32/system_library.h"

namespace progress {
// Rectangles in failure messages.
void PrintTo(const Rect& r, std::ostream* out) {
  *out << "{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}
}  // namespace progress

namespace {

using namespace progress;
using win32::ModuleInstance;

using Clock = std::chrono::steady_clock;

template <typename Predicate>
bool WaitFor(Predicate predicate, int milliseconds = 5000) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!predicate()) {
    if (Clock::now() > deadline) return false;
    ::Sleep(1);
  }
  return true;
}

std::string WindowText(HWND window) {
  char buffer[4096] = {};
  const int length = ::GetWindowTextA(window, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

std::string ClassName(HWND window) {
  char buffer[256] = {};
  const int length = ::GetClassNameA(window, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

LRESULT BarPosition(HWND bar) { return ::SendMessageA(bar, PBM_GETPOS, 0, 0); }

// Returns once the bar has handled every message posted to it so far: a step size posted behind
// them is handled after them (posted messages keep their order), and can be read back.
void DrainBar(HWND bar) {
  static int step = 2;
  step = step % 50 + 2;
  ASSERT_TRUE(::PostMessageA(bar, PBM_SETSTEP, step, 0));
  ASSERT_TRUE(WaitFor([&] { return ::SendMessageA(bar, PBM_GETSTEP, 0, 0) == step; }));
}

progress::Rect ScreenRect(HWND window) {
  RECT r = {};
  ::GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

progress::Rect ClientRectIn(HWND child, HWND parent) {
  RECT r = {};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

HANDLE DuplicateThreadHandle() {
  HANDLE copy = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), progressThread.load(), ::GetCurrentProcess(), &copy, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
  return copy;
}

// Whatever this (the main) thread finds in its own queue was posted to a null window.
bool OwnQueueHasMessages() {
  MSG message;
  bool any = false;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.hwnd == nullptr) any = true;
  }
  return any;
}

class ProgressWindowTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // As the launcher's main sequence does before the unpacking.
    ModuleInstance = ::GetModuleHandleW(nullptr);
    win32::InitCommonControlsFromSystem();
  }

  void SetUp() override {
    progressWindow.store(nullptr);
    progressBar.store(nullptr);
    progressLabel.store(nullptr);
    progressThread.store(nullptr);
  }

  void TearDown() override {
    // A test that failed half way leaves no window behind for the next one.
    HWND window = progressWindow.load();
    if (window != nullptr && window != kProgressStarting && ::IsWindow(window)) {
      CloseProgressWindow();
    }
  }

  // Starts the window as the unpacking does, owned by the desktop window.
  static HWND Start() { return StartProgressWindow(::GetDesktopWindow()); }
};

TEST_F(ProgressWindowTest, StartReturnsOnlyAfterCreateWithBothControlsInPlace) {
  const HWND window = Start();
  // Read at once, before anything else can have happened on the window thread's side.
  const HWND label = ProgressLabel();
  const HWND bar = progressBar.load();
  ASSERT_NE(window, nullptr);
  ASSERT_NE(window, kProgressStarting);
  EXPECT_EQ(window, progressWindow.load());
  ASSERT_TRUE(::IsWindow(window));
  ASSERT_TRUE(::IsWindow(label));
  ASSERT_TRUE(::IsWindow(bar));
  EXPECT_EQ(::GetParent(label), window);
  EXPECT_EQ(::GetParent(bar), window);
  EXPECT_EQ(::GetDlgCtrlID(label), 100);
  EXPECT_EQ(::GetDlgCtrlID(bar), 200);
  EXPECT_NE(progressThread.load(), nullptr);
  // Both controls belong to the window thread, not to the caller's.
  EXPECT_NE(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
  EXPECT_EQ(::GetWindowThreadProcessId(bar, nullptr), ::GetWindowThreadProcessId(window, nullptr));
  EXPECT_EQ(WindowText(window), "Extracting Files");
  EXPECT_EQ(WindowText(label), "");
}

TEST_F(ProgressWindowTest, ClassAndStylesGiveACaptionWithoutMenuOrCloseBox) {
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  // A text sent to the window returns once its thread is in the message loop, so it is shown.
  SetProgressText(window, "Extracting Files...");
  EXPECT_TRUE(::IsWindowVisible(window));

  EXPECT_EQ(ClassName(window), "TarLoomSelfExtractProgressDialog");
  EXPECT_EQ(::GetClassLongA(window, GCL_STYLE), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(::GetClassLongPtrA(window, GCLP_HBRBACKGROUND)),
            ::GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_NE(::GetClassLongPtrA(window, GCLP_HICON), 0) << "icon TARNBY from the resources";
  EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrA(window, GCLP_HCURSOR)),
            ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));

  const DWORD style = ::GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_EQ(style & WS_SYSMENU, 0u) << "no system menu, so no close box";
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD | WS_POPUP), 0u);
  EXPECT_EQ(::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_EQ(::GetAncestor(window, GA_PARENT), ::GetDesktopWindow());

  const HWND label = ProgressLabel();
  const HWND bar = progressBar.load();
  EXPECT_EQ(_stricmp(ClassName(label).c_str(), "static"), 0) << ClassName(label);
  EXPECT_EQ(ClassName(bar), "msctls_progress32");
  EXPECT_EQ(::GetWindowLongA(label, GWL_STYLE) & ~WS_CLIPSIBLINGS, 0x50000000);
  EXPECT_EQ(::GetWindowLongA(bar, GWL_STYLE) & ~WS_CLIPSIBLINGS, 0x50000001);
  EXPECT_EQ(::GetWindowLongA(label, GWL_EXSTYLE), 0);
  EXPECT_EQ(::GetWindowLongA(bar, GWL_EXSTYLE), 0);
}

TEST_F(ProgressWindowTest, BarRunsFromZeroToHundredAndStartsAtOne) {
  ASSERT_NE(Start(), nullptr);
  const HWND bar = progressBar.load();
  DrainBar(bar);
  PBRANGE range = {};
  ::SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(BarPosition(bar), 1);
}

TEST_F(ProgressWindowTest, FirstPositionIsQueuedAheadOfThePositionsPostedAfterStart) {
  ASSERT_NE(Start(), nullptr);
  // Posted straight after the start: it must not be overtaken by the bar's own first position.
  EXPECT_EQ(PostProgressPosition(7), 0);
  const HWND bar = progressBar.load();
  DrainBar(bar);
  EXPECT_EQ(BarPosition(bar), 7);
}

TEST_F(ProgressWindowTest, PositionsBelowOneAreRaisedToOne) {
  ASSERT_NE(Start(), nullptr);
  const HWND bar = progressBar.load();
  for (const int32_t low : {0, -5, INT32_MIN}) {
    SCOPED_TRACE(low);
    EXPECT_EQ(PostProgressPosition(50), 0);
    DrainBar(bar);
    ASSERT_EQ(BarPosition(bar), 50);
    EXPECT_EQ(PostProgressPosition(low), 0);
    DrainBar(bar);
    EXPECT_EQ(BarPosition(bar), 1);
  }
  EXPECT_EQ(PostProgressPosition(100), 0);
  DrainBar(bar);
  EXPECT_EQ(BarPosition(bar), 100);
}

TEST_F(ProgressWindowTest, TextsReachTheWindowBeforeTheCallReturns) {
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  SetProgressText(window, "Extracting Files...");
  EXPECT_EQ(WindowText(window), "Extracting Files...");
  // The buffer holds 1023 bytes and a NUL; longer texts are cut, and so is a text at a NUL.
  SetProgressText(ProgressLabel(), std::string(2000, 'x'));
  EXPECT_EQ(WindowText(ProgressLabel()), std::string(1023, 'x'));
  SetProgressText(ProgressLabel(), std::string_view("ab\0cd", 5));
  EXPECT_EQ(WindowText(ProgressLabel()), "ab");
  SetProgressText(ProgressLabel(), "");
  EXPECT_EQ(WindowText(ProgressLabel()), "");
}

TEST_F(ProgressWindowTest, ReportShowsThePercentageTextThenMovesTheBar) {
  ASSERT_NE(Start(), nullptr);
  const HWND bar = progressBar.load();
  progress::ProgressWindowReport report;
  // Until the walk's first report (it never reports 0 %) the label is empty and the bar at 1.
  DrainBar(bar);
  EXPECT_EQ(WindowText(ProgressLabel()), "");
  EXPECT_EQ(BarPosition(bar), 1);

  report.PercentChanged(5);
  // The text is sent, so it is there at once; the position follows through the queue.
  EXPECT_EQ(WindowText(ProgressLabel()), " 5 %");
  DrainBar(bar);
  EXPECT_EQ(BarPosition(bar), 5);

  report.PercentChanged(42);
  EXPECT_EQ(WindowText(ProgressLabel()), " 42 %");
  report.PercentChanged(100);
  EXPECT_EQ(WindowText(ProgressLabel()), " 100 %");
  DrainBar(bar);
  EXPECT_EQ(BarPosition(bar), 100);
}

TEST_F(ProgressWindowTest, CloseWaitsUntilTheWindowIsGoneAndTheThreadEnds) {
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  const HWND label = ProgressLabel();
  const HWND bar = progressBar.load();
  PostProgressPosition(60);
  const HANDLE thread = DuplicateThreadHandle();
  ASSERT_NE(thread, nullptr);

  EXPECT_EQ(CloseProgressWindow(), -1);
  // No waiting here: the close itself waited for the window to be destroyed.
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_FALSE(::IsWindow(label));
  EXPECT_FALSE(::IsWindow(bar));
  EXPECT_EQ(progressThread.load(), nullptr) << "the closed handle is not left to be closed again";

  ASSERT_EQ(::WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "WM_QUIT ends the loop";
  DWORD exitCode = 0;
  ::GetExitCodeThread(thread, &exitCode);
  EXPECT_EQ(exitCode, 1u);
  ::CloseHandle(thread);

  // A second close finds nothing left to close.
  EXPECT_EQ(CloseProgressWindow(), 0);
}

TEST_F(ProgressWindowTest, CloseAfterTheWindowWentAnotherWayReturnsAtOnce) {
  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindow(window); }));
  // Updates to a window that is gone have no effect and do not block.
  SetProgressText(ProgressLabel(), " 9 %");
  EXPECT_EQ(PostProgressPosition(9), 0);

  const auto begin = Clock::now();
  EXPECT_EQ(CloseProgressWindow(), -1);
  EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(500));
  EXPECT_FALSE(OwnQueueHasMessages());
}

TEST_F(ProgressWindowTest, CloseWhenNoThreadWasEverStartedReturnsZeroAtOnce) {
  for (const HWND word : {static_cast<HWND>(nullptr), kProgressStarting}) {
    // Before any run (0), and as a thread that could not be created leaves it (-1).
    progressWindow.store(word);
    const auto begin = Clock::now();
    EXPECT_EQ(CloseProgressWindow(), 0);
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(500));
  }
}

TEST_F(ProgressWindowTest, WithoutAWindowNothingIsPostedToTheCallersOwnQueue) {
  // progressBar and progressWindow as a failed start leaves them: a post to a null window
  // would go to this thread's queue instead.
  ASSERT_FALSE(OwnQueueHasMessages());
  progressWindow.store(kProgressStarting);
  progress::ProgressWindowReport report;
  report.PercentChanged(5);
  EXPECT_EQ(PostProgressPosition(6), 0);
  progressWindow.store(nullptr);
  CloseProgressWindow();
  EXPECT_FALSE(OwnQueueHasMessages());
}

// A class of the same name whose windows refuse to be created, registered before the window
// thread registers its own (which then fails, harmlessly): the thread runs but gets no window.
LRESULT CALLBACK RefusingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) return FALSE;
  return ::DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(ProgressWindowTest, ThreadThatCannotCreateItsWindowReleasesTheStartWithZero) {
  ::UnregisterClassA(progress::kClassName, ModuleInstance);
  WNDCLASSA refusing = {};
  refusing.lpfnWndProc = RefusingWindowProc;
  refusing.hInstance = ModuleInstance;
  refusing.lpszClassName = progress::kClassName;
  ASSERT_NE(::RegisterClassA(&refusing), 0);
  struct Unregister {
    ~Unregister() { ::UnregisterClassA(progress::kClassName, ModuleInstance); }
  } unregister;

  // Run on a helper thread, so that a start that would wait for ever fails this test instead
  // of hanging the program.
  std::atomic<bool> returned{false};
  HWND result = kProgressStarting;
  std::thread starter([&] {
    result = StartProgressWindow(::GetDesktopWindow());
    returned.store(true);
  });
  const bool released = WaitFor([&] { return returned.load(); });
  if (!released) progressWindow.store(nullptr);  // let the stuck start go, to fail cleanly
  starter.join();
  ASSERT_TRUE(released) << "StartProgressWindow kept waiting for a window that never came";
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(progressWindow.load(), nullptr);
  EXPECT_EQ(progressBar.load(), nullptr);
  EXPECT_EQ(ProgressLabel(), nullptr);

  const HANDLE thread = DuplicateThreadHandle();
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(::WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "no message loop without a window";
  DWORD exitCode = 99;
  ::GetExitCodeThread(thread, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  ::CloseHandle(thread);

  // The unpacking goes on without a window: updates do nothing, the close closes the handle.
  SetProgressText(ProgressLabel(), " 5 %");
  EXPECT_EQ(PostProgressPosition(5), 0);
  const auto begin = Clock::now();
  EXPECT_EQ(CloseProgressWindow(), -1);
  EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(500));
  EXPECT_FALSE(OwnQueueHasMessages());
}

// The window and its controls on the screen this program was given (TARLOOM_SCREEN, one of the
// worked sizes), where the layout's functions say: their numbers are held to the worked table
// natively; here the real window and controls are held to them.
TEST_F(ProgressWindowTest, GeometryFollowsTheDesignGrid) {
  const int cx = ::GetSystemMetrics(SM_CXSCREEN);
  const int cy = ::GetSystemMetrics(SM_CYSCREEN);
  std::printf("screen %dx%d\n", cx, cy);
  const auto& l = progress::kLabel;
  const auto& b = progress::kBar;

  const HWND window = Start();
  ASSERT_NE(window, nullptr);
  SetProgressText(window, "Extracting Files...");
  EXPECT_EQ(ScreenRect(window), progress::ProgressWindowRect(cx, cy));
  EXPECT_EQ(ClientRectIn(ProgressLabel(), window), progress::ScaledRect(l.x, l.y, l.width, l.height, cx, cy));
  EXPECT_EQ(ClientRectIn(progressBar.load(), window), progress::ScaledRect(b.x, b.y, b.width, b.height, cx, cy));
}

}  // namespace
