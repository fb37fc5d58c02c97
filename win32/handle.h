// Small move-only owners for Win32 handles, in the manner of a unique_ptr whose "empty" value
// is part of the type: file handles are empty at INVALID_HANDLE_VALUE, thread and process
// handles at null, find handles at INVALID_HANDLE_VALUE with FindClose.
#pragma once

#include <windows.h>

namespace win32 {

template <typename Traits>
class Owned {
 public:
  using Value = typename Traits::Value;

  Owned() noexcept = default;
  explicit Owned(Value value) noexcept : value_(value) {}
  ~Owned() { reset(); }

  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Value get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

  Value release() noexcept {
    Value value = value_;
    value_ = Traits::Empty();
    return value;
  }
  void reset(Value value = Traits::Empty()) noexcept {
    if (value_ != Traits::Empty()) Traits::Close(value_);
    value_ = value;
  }

 private:
  Value value_ = Traits::Empty();
};

struct FileHandleTraits {
  using Value = HANDLE;
  static Value Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) noexcept { ::CloseHandle(value); }
};

struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Empty() noexcept { return nullptr; }
  static void Close(Value value) noexcept { ::CloseHandle(value); }
};

struct FindHandleTraits {
  using Value = HANDLE;
  static Value Empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) noexcept { ::FindClose(value); }
};

using UniqueFile = Owned<FileHandleTraits>;      // CreateFile
using UniqueHandle = Owned<KernelHandleTraits>;  // threads, processes, events
using UniqueFind = Owned<FindHandleTraits>;      // FindFirstFile

}  // namespace win32
