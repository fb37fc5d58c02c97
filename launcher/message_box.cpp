#include "launcher/message_box.h"

#include "win32/ansi.h"

namespace launcher {

void ShowMessage(std::string_view text, std::string_view caption, UINT type) {
  const std::wstring wideText = win32::AnsiToWide(text);
  const std::wstring wideCaption = win32::AnsiToWide(caption);
  ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), type);
}

}  // namespace launcher
