// Little-endian fields of a program image and its resources, and the one bounds test every
// read goes through first. Shared by the image reader and writer and the version-information
// code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace pe {

// Sets `error` and returns false, so that a refusal is one statement.
inline bool Fail(std::string& error, std::string text) {
  error = std::move(text);
  return false;
}

// True when `length` bytes from `offset` lie within `size`. Subtraction form: nothing wraps.
inline bool Fits(std::size_t size, std::size_t offset, std::size_t length) {
  return offset <= size && length <= size - offset;
}

// The reads and writes below trust their caller's Fits: they check nothing themselves.
inline std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Get16(bytes, at)) | static_cast<std::uint32_t>(Get16(bytes, at + 2))
                                                            << 16;
}

inline void Put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value);
  Put16(bytes, at + 2, value >> 16);
}

}  // namespace pe
