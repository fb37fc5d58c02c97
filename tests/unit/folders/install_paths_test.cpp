#include "folders/install_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using folders::DrivePrefixFromWindowsFolder;

TEST(SystemDrive, IsTheWindowsFolderUpToItsFirstColon) {
  EXPECT_EQ(DrivePrefixFromWindowsFolder("C:\\WINDOWS"), "C:");
  EXPECT_EQ(DrivePrefixFromWindowsFolder("D:\\WINNT"), "D:");
  // Only the first colon counts, whatever follows it.
  EXPECT_EQ(DrivePrefixFromWindowsFolder("E:\\a:b"), "E:");
  // A longer "drive" before the colon is taken as it stands.
  EXPECT_EQ(DrivePrefixFromWindowsFolder("XY:\\Windows"), "XY:");
}

TEST(SystemDrive, FallsBackToCWhenTheFolderNamesNoDrive) {
  EXPECT_EQ(DrivePrefixFromWindowsFolder(""), "C:");                       // the call failed
  EXPECT_EQ(DrivePrefixFromWindowsFolder("\\\\server\\share\\WINDOWS"), "C:");  // network path
  EXPECT_EQ(DrivePrefixFromWindowsFolder(":\\WINDOWS"), "C:");             // colon first
}

TEST(SystemDrive, ReadsTheBufferOnlyUpToItsFirstZeroByte) {
  const std::string buffer("D\0:\\WINDOWS", 11);
  EXPECT_EQ(DrivePrefixFromWindowsFolder(buffer), "C:");
  const std::string padded("F:\\W\0\0\0", 7);
  EXPECT_EQ(DrivePrefixFromWindowsFolder(padded), "F:");
}

TEST(Folders, AreBuiltOnTheDriveWithoutATrailingBackslash) {
  EXPECT_EQ(folders::BaseFolder("D:"), "D:\\Tarnby Setup");
  EXPECT_EQ(folders::ProductFolder("D:"), "D:\\Tarnby Setup\\TarLoom64");
  EXPECT_EQ(folders::InstallerPath("C:\\Tarnby Setup\\TarLoom64"),
            "C:\\Tarnby Setup\\TarLoom64\\setup.exe");
}

TEST(Messages, UnableToCreateQuotesTheFolder) {
  EXPECT_EQ(folders::UnableToCreateMessage("C:\\Tarnby Setup"),
            "Unable to create \"C:\\Tarnby Setup\" !");
}

}  // namespace
