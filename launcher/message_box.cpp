#include "launcher/message_box.h"

#include "launcher/texts.h"
#include "win32/ansi.h"
#include "win32/fixed_text.h"
#include "win32/system_error.h"

namespace launcher {

void ShowMessage(std::string_view text, std::string_view caption, UINT type) {
  const win32::WidePath wideText = win32::AnsiToWide(text);
  const win32::WidePath wideCaption = win32::AnsiToWide(caption);
  ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
}

void ShowFailure(std::string_view action, std::string_view path, DWORD error) {
  const win32::MessageText what =
      win32::MessageText("Unable to ").Append(action).Append(" \"").Append(path).Append("\"");
  // The reason is the system's own text, in the user's language: it is added as UTF-16.
  win32::WideText<win32::kLongPath + 600> text(win32::AnsiToWide(what.view()).view());
  text.Append(L": ").Append(win32::SystemErrorText(error).view());
  const win32::WidePath caption = win32::AnsiToWide(kSetupCaption);
  ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

void ShowDamagedFiles(std::string_view entry) {
  win32::MessageText text(kFilesDamaged);
  if (!entry.empty()) text.Append(": \"").Append(entry).Append('"');
  text.Append(". ").Append(kDownloadAgain);
  ShowMessage(text.view(), kSetupCaption, MB_OK);
}

}  // namespace launcher
