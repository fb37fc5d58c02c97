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

namespace {

// A path that does not fit is marked, never silently shortened into another file's name.
TEST(BoundedText, WhatDoesNotFitIsDroppedAndRemembered) {
  win32::BoundedText<char, 8> text("C:\\");
  text.Append("abcd");
  EXPECT_EQ(text.view(), "C:\\abcd");
  EXPECT_FALSE(text.cut());
  text.Append('e').Append("fg");
  EXPECT_EQ(text.view(), "C:\\abcde");
  EXPECT_TRUE(text.cut());
  EXPECT_EQ(std::strlen(text.c_str()), 8u);
  // Embedded zero bytes are kept: only the ANSI calls' copies stop at them.
  const win32::BoundedText<char, 8> zero(std::string_view("a\0b", 3));
  EXPECT_EQ(zero.size(), 3u);
  EXPECT_FALSE(zero.cut());
}

}  // namespace
