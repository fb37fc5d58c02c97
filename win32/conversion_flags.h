// The flags MultiByteToWideChar takes for a code page. Portable, tested natively.
#pragma once

#include <cstdint>

namespace win32 {

inline constexpr std::uint32_t kPrecomposed = 1;  // MB_PRECOMPOSED

// 0 for the code pages whose converters refuse MB_PRECOMPOSED with ERROR_INVALID_FLAGS: UTF-8
// (a machine's ANSI code page since Windows 10 1903 can be), UTF-7, Symbol, GB18030, the
// ISO-2022 pages and ISCII. 52936 (HZ-GB-2312) is among them for WideCharToMultiByte and
// takes 0 this way too. MB_PRECOMPOSED for every other page; it is the default there anyway.
constexpr std::uint32_t AnsiToWideFlags(std::uint32_t codePage) {
  switch (codePage) {
    case 42:     // Symbol
    case 50220:  // ISO-2022-JP
    case 50221:
    case 50222:
    case 50225:  // ISO-2022-KR
    case 50227:  // ISO-2022-CN
    case 50229:
    case 52936:  // HZ-GB-2312
    case 54936:  // GB18030
    case 65000:  // UTF-7
    case 65001:  // UTF-8
      return 0;
    default:
      return codePage >= 57002 && codePage <= 57011 ? 0 : kPrecomposed;  // ISCII
  }
}

}  // namespace win32
