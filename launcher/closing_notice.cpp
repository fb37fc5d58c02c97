#include "launcher/closing_notice.h"

#include "launcher/message_box.h"
#include "launcher/texts.h"
#include "win32/fixed_text.h"

namespace launcher {

namespace {

// MB_OK | MB_SYSTEMMODAL: on top of every window, even with no owner.
constexpr UINT kNoticeType = MB_OK | MB_SYSTEMMODAL;
static_assert(kNoticeType == 0x1000);

}  // namespace

void ShowClosingNotice() {
  // The first piece ends in a space; the text has no full stop.
  win32::MessageText text("If the program setup screen does not come up, use the new desktop ");
  text.Append("icon called '").Append(kShortcutName).Append("'");
  ShowMessage(text.view(), kNoticeCaption, kNoticeType);
}

}  // namespace launcher
