// The listing and deletion on a real file system (under Wine in the test suite).
#include "fileops/file_listing.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using fileops::DeleteMatchingFiles;
using fileops::PathExists;

// The listing's names as strings, for comparing.
std::string ListFirst(const std::string& pattern, std::uint32_t mask) {
  return std::string(fileops::ListFirst(pattern, mask).view());
}
std::string ListNext() { return std::string(fileops::ListNext().view()); }

class FileListing : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "fileops-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(root_);
    ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr)) << root_;
  }
  void TearDown() override { RemoveTree(root_); }

  std::string Path(const std::string& name) const { return root_ + "\\" + name; }

  void MakeFile(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                const std::string& content = "x") {
    HANDLE file = ::CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_TRUE(::SetFileAttributesA(Path(name).c_str(), attributes)) << name;
  }
  void MakeFolder(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY) {
    ASSERT_TRUE(::CreateDirectoryA(Path(name).c_str(), nullptr)) << name;
    ASSERT_TRUE(::SetFileAttributesA(Path(name).c_str(), attributes)) << name;
  }
  bool Exists(const std::string& name) const {
    return ::GetFileAttributesA(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  static std::vector<std::string> ListAll(const std::string& pattern, std::uint32_t mask) {
    std::vector<std::string> names;
    for (std::string name = ListFirst(pattern, mask); !name.empty(); name = ListNext())
      names.push_back(name);
    return names;
  }
  static std::set<std::string> AsSet(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
  }

  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(path);
        else
          ::DeleteFileA(path.c_str());
      } while (::FindNextFileA(search, &entry));
      ::FindClose(search);
    }
    ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryA(folder.c_str());
  }

  std::string root_;
};

TEST_F(FileListing, AFolderIsFoundByItsPathOnlyWithTheFolderMask) {
  MakeFolder("plain");
  EXPECT_EQ(ListFirst(Path("plain"), fileops::kFilesAndFolders), "plain");
  EXPECT_EQ(ListFirst(Path("plain"), fileops::kPlainFiles), "");
  EXPECT_TRUE(PathExists(Path("plain"), fileops::kFilesAndFolders));
  EXPECT_FALSE(PathExists(Path("plain"), fileops::kPlainFiles));
}

TEST_F(FileListing, HiddenOrSystemFoldersCountAsMissingButAPlainFileOfTheNameIsFound) {
  MakeFolder("hidden", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  MakeFolder("system", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM);
  MakeFile("file");
  EXPECT_FALSE(PathExists(Path("hidden"), fileops::kFilesAndFolders));
  EXPECT_FALSE(PathExists(Path("system"), fileops::kFilesAndFolders));
  EXPECT_TRUE(PathExists(Path("file"), fileops::kFilesAndFolders));
  EXPECT_TRUE(PathExists(Path("file"), fileops::kPlainFiles));
  EXPECT_FALSE(PathExists(Path("missing"), fileops::kFilesAndFolders));
}

TEST_F(FileListing, AFolderListingShowsPlainFilesOnly) {
  MakeFile("a.txt");
  MakeFile("readonly.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile("archive.txt", FILE_ATTRIBUTE_ARCHIVE);
  MakeFile("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  MakeFile("system.txt", FILE_ATTRIBUTE_SYSTEM);
  MakeFolder("sub");
  const std::set<std::string> expected{"a.txt", "readonly.txt", "archive.txt"};
  EXPECT_EQ(AsSet(ListAll(Path("*.*"), fileops::kPlainFiles)), expected);
  // A pattern ending in a backslash lists the folder's content the same way.
  EXPECT_EQ(AsSet(ListAll(root_ + "\\", fileops::kPlainFiles)), expected);
  // With the folder mask the subfolder joins, never "." or "..".
  std::set<std::string> with_folders = expected;
  with_folders.insert("sub");
  EXPECT_EQ(AsSet(ListAll(Path("*"), fileops::kFilesAndFolders)), with_folders);
}

TEST_F(FileListing, ANewListFirstReplacesTheOpenListing) {
  MakeFile("a1");
  MakeFile("a2");
  MakeFile("b1");
  MakeFile("b2");
  MakeFile("b3");
  const std::string first_a = ListFirst(Path("a*"), fileops::kPlainFiles);
  ASSERT_FALSE(first_a.empty());
  std::vector<std::string> b_names{ListFirst(Path("b*"), fileops::kPlainFiles)};
  for (std::string name = ListNext(); !name.empty(); name = ListNext()) b_names.push_back(name);
  EXPECT_EQ(AsSet(b_names), (std::set<std::string>{"b1", "b2", "b3"}));
  // Exhausted: the listing is closed and stays closed.
  EXPECT_EQ(ListNext(), "");
  // A search that finds nothing leaves no listing open either.
  EXPECT_EQ(ListFirst(Path("a*"), fileops::kPlainFiles).empty(), false);
  EXPECT_EQ(ListFirst(Path("none*"), fileops::kPlainFiles), "");
  EXPECT_EQ(ListNext(), "");
}

TEST_F(FileListing, AListingOfOnlyUnacceptedEntriesIsEmpty) {
  MakeFile("h1", FILE_ATTRIBUTE_HIDDEN);
  MakeFolder("d1");
  EXPECT_EQ(ListFirst(Path("*1"), fileops::kPlainFiles), "");
  EXPECT_EQ(ListNext(), "");
}

TEST_F(FileListing, DeletionRemovesPlainFilesAndSkipsTheRest) {
  MakeFile("p1.dat");
  MakeFile("p2.dat", FILE_ATTRIBUTE_ARCHIVE);
  MakeFile("h.dat", FILE_ATTRIBUTE_HIDDEN);
  MakeFile("s.dat", FILE_ATTRIBUTE_SYSTEM);
  MakeFolder("d.dat");
  DeleteMatchingFiles(Path("*.dat"));
  EXPECT_FALSE(Exists("p1.dat"));
  EXPECT_FALSE(Exists("p2.dat"));
  EXPECT_TRUE(Exists("h.dat"));
  EXPECT_TRUE(Exists("s.dat"));
  EXPECT_TRUE(Exists("d.dat"));
}

TEST_F(FileListing, DeletionStopsAtTheFirstFileThatCannotBeDeleted) {
  const std::vector<std::string> names{"f1", "f2", "f3", "f4", "f5"};
  for (const auto& name : names) MakeFile(name, name == "f3" ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
  // The search's own order decides which files come before the read-only one.
  const std::vector<std::string> order = ListAll(Path("f*"), fileops::kPlainFiles);
  ASSERT_EQ(order.size(), names.size());
  const auto read_only = std::find(order.begin(), order.end(), "f3");
  DeleteMatchingFiles(Path("f*"));
  for (auto it = order.begin(); it != order.end(); ++it) {
    EXPECT_EQ(Exists(*it), it >= read_only) << *it;
  }
}

TEST_F(FileListing, AReadOnlyFirstMatchMeansNothingIsDeleted) {
  MakeFile("only.txt", FILE_ATTRIBUTE_READONLY);
  DeleteMatchingFiles(Path("only.txt"));
  EXPECT_TRUE(Exists("only.txt"));
  DeleteMatchingFiles(Path("missing.txt"));  // nothing to do, nothing reported
  DeleteMatchingFiles("");
  EXPECT_TRUE(Exists("only.txt"));
}

TEST_F(FileListing, ANameIsUsedRelativeToTheCurrentFolder) {
  MakeFile("here.eek");
  char previous[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryA(root_.c_str()));
  EXPECT_TRUE(PathExists("here.eek", fileops::kPlainFiles));
  DeleteMatchingFiles("here.eek");
  ::SetCurrentDirectoryA(previous);
  EXPECT_FALSE(Exists("here.eek"));
}

TEST_F(FileListing, PathsAreCutTo256Characters) {
  // A file whose full path is exactly 256 characters is found, and deleted, by any longer path
  // that starts with it.
  const std::size_t prefix = root_.size() + 1;
  ASSERT_LT(prefix, 250u);
  const std::string name(256 - prefix, 'n');
  MakeFile(name);
  ASSERT_EQ(Path(name).size(), 256u);
  EXPECT_EQ(ListFirst(Path(name) + "-ignored", fileops::kPlainFiles), name);
  DeleteMatchingFiles(Path(name) + "-ignored");
  EXPECT_FALSE(Exists(name));
}

TEST_F(FileListing, TheErrorModeIsRestoredAfterEachCall) {
  const UINT before = ::SetErrorMode(0);
  ListFirst(Path("*"), fileops::kPlainFiles);
  DeleteMatchingFiles(Path("nothing"));
  EXPECT_EQ(::SetErrorMode(before), 0u);
}

}  // namespace
