// The flags of the ANSI-to-UTF-16 conversion: a wrong one makes every wide call get "".
#include "win32/conversion_flags.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(AnsiToWideFlags, PagesThatRefuseMbPrecomposedGetNoFlagsAndOthersKeepIt) {
  for (const std::uint32_t page : {65001u, 65000u, 42u, 50220u, 50221u, 50222u, 50225u, 50227u,
                                   50229u, 52936u, 54936u, 57002u, 57006u, 57011u}) {
    EXPECT_EQ(win32::AnsiToWideFlags(page), 0u) << page;
  }
  // The ISCII range's neighbours and the usual ANSI pages (Western, Japanese, Chinese, Korean,
  // Cyrillic) keep MB_PRECOMPOSED.
  for (const std::uint32_t page : {1252u, 932u, 936u, 949u, 1251u, 437u, 57001u, 57012u, 65002u}) {
    EXPECT_EQ(win32::AnsiToWideFlags(page), 1u) << page;
  }
}

}  // namespace
