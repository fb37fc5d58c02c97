#include "win32/fixed_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(FixedText, HoldsAtMostOneByteLessThanItsBuffer) {
  const std::string long_text(300, 'x');
  const win32::FixedText<260> path(long_text);
  EXPECT_EQ(std::strlen(path.c_str()), 259u);

  const win32::FixedText<4> exact("abc");
  EXPECT_STREQ(exact.c_str(), "abc");
  const win32::FixedText<4> cut("abcd");
  EXPECT_STREQ(cut.c_str(), "abc");
}

TEST(FixedText, EndsAtTheFirstZeroByte) {
  const win32::FixedText<16> text(std::string("ab\0cd", 5));
  EXPECT_STREQ(text.c_str(), "ab");
  const win32::FixedText<16> empty("");
  EXPECT_STREQ(empty.c_str(), "");
}

}  // namespace
