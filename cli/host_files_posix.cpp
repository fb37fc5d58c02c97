#include "cli/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <limits>

namespace cli {

using namespace archive;

namespace {

constexpr int64_t kLargest = std::numeric_limits<int32_t>::max();

std::string Reason() { return std::strerror(errno); }

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool ListFolderFiles(const std::string& folder, std::vector<std::string>& paths, std::string& error) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) {
    error = "cannot read the folder " + folder + ": " + Reason();
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat info {};
    if (name == "." || name == ".." || ::stat((folder + "/" + name).c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
      continue;
    }
    names.push_back(name);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  paths.clear();
  for (const std::string& name : names) paths.push_back(folder + "/" + name);
  return true;
}

std::string ProgramFolder() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string program(path, static_cast<std::size_t>(length));
  const std::size_t slash = program.rfind('/');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::uint64_t FileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

bool ReadInputFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + path + ": " + Reason();
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (!ok) {
    error = "cannot read " + path + ": " + Reason();
  } else if (!S_ISREG(info.st_mode)) {
    error = "not a regular file: " + path;
    ok = false;
  } else if (info.st_size > kLargest) {
    error = path + " is larger than 2147483647 bytes, the most an entry can hold";
    ok = false;
  }
  if (ok) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = "cannot read " + path + ": " + Reason();
        ok = false;
        break;
      }
      if (n == 0) {
        error = "cannot read " + path + ": it shrank while being read";
        ok = false;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  return ok;
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string& error) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot write " + path + ": " + Reason();
    return false;
  }
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  if (!ok) error = "cannot write " + path + ": " + Reason();
  // mkstemp makes the file private; an archive is read by others like any build output.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::close(fd) != 0 && ok) {
    error = "cannot write " + path + ": " + Reason();
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + Reason();
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileSource::Open(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot read " + path + ": " + Reason();
    return false;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "not a regular file: " + path;
    return false;
  }
  return true;
}

int32_t FileSource::Read(std::uint8_t* dest, int32_t count) {
  int32_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, dest + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

void FileSource::Seek(int32_t offset) {
  if (offset >= 0) ::lseek(fd_, offset, SEEK_SET);
}

int32_t FileSource::Length() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(info.st_size, kLargest));
}

bool FileSource::TooLarge() {
  struct stat info {};
  return ::fstat(fd_, &info) == 0 && info.st_size > kLargest;
}

FolderSink::~FolderSink() {
  if (fd_ >= 0) ::close(fd_);
}

void FolderSink::Fail(const char* what) {
  if (!failed_) errors_.push_back(what + (" " + path_) + ": " + Reason());
  failed_ = true;
}

void FolderSink::Begin(std::string_view name) {
  path_ = folder_ + "/" + std::string(name);
  failed_ = false;
  // Replace whatever has the name; O_EXCL with O_NOFOLLOW then refuses anything that
  // appeared in between instead of writing through it.
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    Fail("cannot replace");
    return;
  }
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd_ < 0) Fail("cannot create");
}

void FolderSink::Write(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0 || failed_) return;
  if (!WriteAll(fd_, data, size)) Fail("cannot write");
}

void FolderSink::End() {
  if (fd_ >= 0 && ::close(fd_) != 0) Fail("cannot write");
  fd_ = -1;
}

bool EnsureFolder(const std::string& folder, std::string& error) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    error = "not a folder: " + folder;
    return false;
  }
  if (::mkdir(folder.c_str(), 0777) != 0) {
    error = "cannot create folder " + folder + ": " + Reason();
    return false;
  }
  return true;
}

}  // namespace cli
