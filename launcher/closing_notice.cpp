#include "launcher/closing_notice.h"

#include <windows.h>

#include <string>

namespace launcher {

namespace {

constexpr const wchar_t* kNoticeCaption = L"Tarnby TarLoom64 Setup Message";
// MB_OK | MB_SYSTEMMODAL: on top of every window, even with no owner.
constexpr UINT kNoticeType = MB_OK | MB_SYSTEMMODAL;
static_assert(kNoticeType == 0x1000);

}  // namespace

void ShowClosingNotice() {
  // The first piece ends in a space; the text has no full stop.
  std::wstring text = L"If the program setup screen does not come up, use the new desktop ";
  text += L"icon called 'Tarnby TarLoom64 Setup'";
  ::MessageBoxW(nullptr, text.c_str(), kNoticeCaption, kNoticeType);
}

}  // namespace launcher
