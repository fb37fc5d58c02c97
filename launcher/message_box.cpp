#include "launcher/message_box.h"

#include "win32/ansi.h"

namespace launcher {

void ShowMessage(std::string_view text, std::string_view caption, UINT type) {
  const win32::WidePath wideText = win32::AnsiToWide(text);
  const win32::WidePath wideCaption = win32::AnsiToWide(caption);
  ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
}

}  // namespace launcher
