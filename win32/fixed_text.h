// Texts handed to the ANSI Windows functions travel as NUL-terminated copies in fixed buffers:
// a copy holds at most one byte less than its buffer and ends at the text's first NUL byte.
// Portable: no Windows header, so the rule is tested natively.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace win32 {

template <std::size_t Size>
class FixedText {
  static_assert(Size >= 1);

 public:
  explicit FixedText(std::string_view text) noexcept {
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const std::size_t length = std::min(text.size(), Size - 1);
    std::copy_n(text.data(), length, buffer_);
    std::fill(buffer_ + length, buffer_ + Size, '\0');
  }
  const char* c_str() const noexcept { return buffer_; }
  char* data() noexcept { return buffer_; }

 private:
  char buffer_[Size];
};

inline constexpr std::size_t kPathBuffer = 260;      // MAX_PATH
inline constexpr std::size_t kClassNameBuffer = 80;  // progress window class
inline constexpr std::size_t kControlBuffer = 255;   // class name and text of a control
inline constexpr std::size_t kWindowTextBuffer = 1024;

}  // namespace win32
