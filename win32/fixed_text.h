// Texts in fixed buffers, so that the launcher never needs the heap for a name or a path.
// Portable: no Windows header, so the rules are tested natively.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace win32 {

// Texts handed to the ANSI Windows functions travel as NUL-terminated copies in fixed buffers:
// a copy holds at most one byte less than its buffer and ends at the text's first NUL byte.
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

// A text of at most Capacity characters, built by appending. What does not fit is dropped and
// remembered (cut()), so a caller can refuse a path rather than use a shortened one, which
// would name some other file. Always NUL-terminated after its content; embedded NULs are kept.
template <typename Char, std::size_t Capacity>
class BoundedText {
 public:
  using View = std::basic_string_view<Char>;

  BoundedText() noexcept { text_[0] = Char(); }
  explicit BoundedText(View text) noexcept : BoundedText() { Append(text); }

  BoundedText& Append(View text) noexcept {
    const std::size_t room = Capacity - length_;
    const std::size_t taken = std::min(text.size(), room);
    std::copy_n(text.data(), taken, text_ + length_);
    length_ += taken;
    text_[length_] = Char();
    cut_ = cut_ || taken < text.size();
    return *this;
  }
  BoundedText& Append(Char c) noexcept { return Append(View(&c, 1)); }

  View view() const noexcept { return View(text_, length_); }
  const Char* c_str() const noexcept { return text_; }
  std::size_t size() const noexcept { return length_; }
  bool empty() const noexcept { return length_ == 0; }
  bool cut() const noexcept { return cut_; }

  // For a Windows call that writes the text: `capacity()` characters and a NUL fit at data();
  // then SetLength with what it wrote.
  Char* data() noexcept { return text_; }
  static constexpr std::size_t capacity() noexcept { return Capacity; }
  void SetLength(std::size_t length) noexcept {
    length_ = std::min(length, Capacity);
    text_[length_] = Char();
  }
  // For a conversion that did not fit.
  void MarkCut() noexcept { cut_ = true; }

  friend bool operator==(const BoundedText& text, View other) noexcept { return text.view() == other; }

 private:
  Char text_[Capacity + 1];
  std::size_t length_ = 0;
  bool cut_ = false;
};

// Paths as the program builds them: a folder, a backslash and a name of up to 256 bytes, with
// room to spare, so a cut means a path no file system call would take anyway.
inline constexpr std::size_t kLongPath = 1024;
using PathText = BoundedText<char, kLongPath>;
using MessageText = BoundedText<char, kWindowTextBuffer>;
template <std::size_t Capacity>
using WideText = BoundedText<wchar_t, Capacity>;

}  // namespace win32
