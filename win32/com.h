// Owners for the automation side: a BSTR freed with SysFreeString and an interface pointer
// released on scope exit. No QueryInterface happens here: a pointer is kept as the type the
// caller says it is.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>

#include "win32/handle.h"

namespace win32 {

struct BstrTraits {
  using Value = BSTR;
  static Value Empty() noexcept { return nullptr; }
  static void Close(Value value) noexcept { ::SysFreeString(value); }
};

// A BSTR made for one call. An empty text stays a null BSTR, which automation methods read as "".
class UniqueBstr : public Owned<BstrTraits> {
 public:
  using Owned::Owned;
  static UniqueBstr FromWide(std::wstring_view text) {
    if (text.empty()) return UniqueBstr();
    return UniqueBstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  }
};

template <typename Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }

  // For out-parameters: releases what is held and hands out the slot.
  Interface** put() noexcept {
    reset();
    return &pointer_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  void reset() noexcept {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace win32
