// The check that a shortcut is the run's, for the shortcut test programs (shortcut_files.h
// stays free of GoogleTest: the end-to-end lnkread helper reads shortcuts with it too).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "shortcut_files.h"

namespace shortcut_test {

// The run's shortcut at `link`: the product folder's setup.exe, started in that folder, named
// and drawn after it, with no arguments and a normal window.
inline void ExpectTheRunsShortcut(const std::wstring& link) {
  const LinkFields fields = ReadLink(link);
  ASSERT_TRUE(fields.loaded) << "no readable shortcut at the desktop";
  EXPECT_EQ(fields.path, L"C:\\Tarnby Setup\\TarLoom64\\setup.exe");
  EXPECT_EQ(fields.workingFolder, L"C:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(fields.description, L"Tarnby TarLoom64 Setup");
  EXPECT_EQ(fields.iconPath, L"C:\\Tarnby Setup\\TarLoom64\\setup.exe");
  EXPECT_EQ(fields.iconIndex, 0);
  EXPECT_EQ(fields.arguments, L"");
  EXPECT_EQ(fields.showCommand, SW_SHOWNORMAL);
}

}  // namespace shortcut_test
