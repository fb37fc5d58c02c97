// The closing notice, seen and answered from a watcher thread as a user would.
#include "launcher/closing_notice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "own_boxes.h"

namespace {

constexpr const wchar_t* kCaption = L"Tarnby TarLoom64 Setup Message";

struct SeenNotice {
  bool found = false;
  std::wstring text;
  LONG exStyle = 0;
  HWND owner = nullptr;
  bool okButton = false;
  bool cancelButton = false;
  bool visibleIcon = false;  // an icon control that shows an icon
  DWORD answeredAt = 0;
  int otherBoxes = 0;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  const LONG style = ::GetWindowLongW(child, GWL_STYLE);
  if (lstrcmpiW(className, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child) &&
      ::SendMessageW(child, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

// Notes what the notice shows, leaves it up a moment, then clicks OK. The watch lasts until
// the call returns, never a fixed time: a notice that came late would otherwise stay up and the
// test wait on it for ever. Any other box is answered too, and counted, so the test fails.
void Watch(SeenNotice& seen, const std::atomic<bool>& returned) {
  own_boxes::AnswerUntilReturned(returned, [&](HWND box) {
    if (seen.found || own_boxes::Caption(box) != kCaption) {
      ++seen.otherBoxes;
      return;
    }
    seen.found = true;
    seen.text = own_boxes::Text(box);
    seen.exStyle = ::GetWindowLongW(box, GWL_EXSTYLE);
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.okButton = ::GetDlgItem(box, IDOK) != nullptr;
    const HWND cancel = ::GetDlgItem(box, IDCANCEL);
    seen.cancelButton = cancel != nullptr && ::IsWindowVisible(cancel);
    ::EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.visibleIcon));
    ::Sleep(500);
    // Still up: the notice waits for its answer.
    EXPECT_FALSE(returned.load());
    seen.answeredAt = ::GetTickCount();
  });
}

TEST(ClosingNotice, ShowsTheTextSystemModalWithNoOwnerAndReturnsWhenAnswered) {
  SeenNotice seen;
  std::atomic<bool> returned{false};
  std::thread watcher(Watch, std::ref(seen), std::cref(returned));
  launcher::ShowClosingNotice();
  const DWORD returnedAt = ::GetTickCount();
  returned.store(true);
  watcher.join();

  ASSERT_TRUE(seen.found) << "no box captioned \"Tarnby TarLoom64 Setup Message\"";
  EXPECT_EQ(seen.otherBoxes, 0);
  EXPECT_EQ(seen.text,
            L"If the program setup screen does not come up, use the new desktop icon called "
            L"'Tarnby TarLoom64 Setup'");
  EXPECT_NE(seen.exStyle & WS_EX_TOPMOST, 0) << "not system-modal";
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_TRUE(seen.okButton);
  EXPECT_FALSE(seen.cancelButton);
  EXPECT_FALSE(seen.visibleIcon);
  EXPECT_GE(returnedAt, seen.answeredAt);
}

}  // namespace
