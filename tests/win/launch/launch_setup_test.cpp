// SetupProcess creating and starting the sample setup.exe, which writes down how it was started.
#include "launcher/setup_launch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kProductFolder = L"C:\\Tarnby Setup\\TarLoom64";
constexpr const wchar_t* kInstaller = L"C:\\Tarnby Setup\\TarLoom64\\setup.exe";
constexpr const wchar_t* kRecord = L"C:\\Tarnby Setup\\TarLoom64\\setup-run.txt";
// Where a start of C:\Tarnby.exe (a copy of the sample) would leave its record.
constexpr const wchar_t* kTrapProgram = L"C:\\Tarnby.exe";
constexpr const wchar_t* kTrapRecord = L"C:\\setup-run.txt";

std::wstring SampleSetup() {
  std::wstring path = L"Z:";
  for (const char c : std::string(SAMPLE_SETUP_HOST_PATH)) path += c == '/' ? L'\\' : wchar_t(c);
  return path;
}

bool Exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
  return wide;
}

using Record = std::map<std::wstring, std::wstring>;

// The sample's key=value lines, once the file is there (it is renamed into place whole). The
// rename holds the file open for a moment after its new name appears, so the open is retried.
Record WaitForRecord(const wchar_t* path, DWORD timeoutMs = 15000) {
  const DWORD start = ::GetTickCount();
  HANDLE file;
  while ((file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE) {
    if (::GetTickCount() - start > timeoutMs) return {};
    ::Sleep(20);
  }
  std::string bytes(65536, '\0');
  DWORD read = 0;
  ::ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  bytes.resize(read);

  Record record;
  size_t begin = 0;
  while (begin < bytes.size()) {
    size_t end = bytes.find('\n', begin);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(begin, end - begin);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) record[FromUtf8(line.substr(0, equals))] = FromUtf8(line.substr(equals + 1));
    begin = end + 1;
  }
  return record;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// Creates setup.exe in `folder` as the run does, suspended, and lets it run: 0, or the error.
DWORD Launch(const char* folder, launcher::CreateProcessFunction createProcess = ::CreateProcessW) {
  launcher::SetupProcess setup;
  const DWORD error = setup.Create(folder, createProcess);
  setup.Resume();
  setup.Forget();
  return error;
}

class LaunchSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousFolder = CurrentFolder();
    ::CreateDirectoryW(L"C:\\Tarnby Setup", nullptr);
    ::CreateDirectoryW(kProductFolder, nullptr);
    ::DeleteFileW(kRecord);
    ::DeleteFileW(kTrapRecord);
    // The setup.exe an earlier test started may still be ending, its image still in use: the
    // copy over it is tried again until it goes.
    const DWORD start = ::GetTickCount();
    while (!::CopyFileW(SampleSetup().c_str(), kInstaller, FALSE)) {
      const DWORD error = ::GetLastError();
      ASSERT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED)
          << "sample setup.exe not copied, error " << error;
      ASSERT_LT(::GetTickCount() - start, 15000u) << "setup.exe still in use, error " << error;
      ::Sleep(50);
    }
  }
  void TearDown() override { ::SetCurrentDirectoryW(previousFolder.c_str()); }

  std::wstring previousFolder;
};

TEST_F(LaunchSetupTest, StartsTheInstallerFromTheProductFolderWithItsBarePath) {
  ::SetCurrentDirectoryW(L"C:\\windows");
  EXPECT_EQ(Launch("C:\\Tarnby Setup\\TarLoom64"), 0u);

  const Record record = WaitForRecord(kRecord);
  ASSERT_FALSE(record.empty()) << "setup.exe did not run";
  EXPECT_EQ(record.at(L"module_path"), kInstaller);
  // Exactly the path: no quotes, nothing after it.
  EXPECT_EQ(record.at(L"command_line"), kInstaller);
  EXPECT_EQ(record.at(L"current_folder"), kProductFolder);
  // STARTF_USESHOWWINDOW alone, with SW_SHOWNORMAL.
  EXPECT_EQ(record.at(L"startup_flags"), L"1");
  EXPECT_EQ(record.at(L"show_window"), L"1");
  // The program itself now stands in the product folder too.
  EXPECT_EQ(CurrentFolder(), kProductFolder);
}

// With no application name, the unquoted command line "C:\Tarnby Setup\TarLoom64\setup.exe" is
// read as "C:\Tarnby.exe" with arguments when such a file exists.
TEST_F(LaunchSetupTest, AFileAtTheUnquotedPathsFirstWordIsNotStarted) {
  ASSERT_TRUE(::CopyFileW(SampleSetup().c_str(), kTrapProgram, FALSE));
  EXPECT_EQ(Launch("C:\\Tarnby Setup\\TarLoom64"), 0u);

  const Record record = WaitForRecord(kRecord);
  ASSERT_FALSE(record.empty()) << "setup.exe did not run";
  EXPECT_EQ(record.at(L"module_path"), kInstaller);
  EXPECT_EQ(record.at(L"command_line"), kInstaller);
  ::Sleep(1000);
  EXPECT_FALSE(Exists(kTrapRecord)) << "C:\\Tarnby.exe was started";
  ::DeleteFileW(kTrapProgram);
}

// The control for the test above: the trap is real on this system, so that test can fail.
TEST_F(LaunchSetupTest, ControlWithoutApplicationNameTheSystemStartsTarnbyExe) {
  ASSERT_TRUE(::CopyFileW(SampleSetup().c_str(), kTrapProgram, FALSE));
  std::wstring commandLine = kInstaller;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &started));
  ::CloseHandle(started.hProcess);
  ::CloseHandle(started.hThread);

  const Record record = WaitForRecord(kTrapRecord);
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record.at(L"module_path"), kTrapProgram);
  ::DeleteFileW(kTrapProgram);
}

// The sample reads a handle value and file path from the environment and reports whether that
// value is, in the child, a handle to that same file.
class InheritanceProbe {
 public:
  InheritanceProbe() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    handle_ = ::CreateFileW(kProbeFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const auto value = static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle_));
    ::SetEnvironmentVariableW(L"TARLOOM_PROBE_HANDLE", std::to_wstring(value).c_str());
    ::SetEnvironmentVariableW(L"TARLOOM_PROBE_FILE", kProbeFile);
  }
  ~InheritanceProbe() {
    ::SetEnvironmentVariableW(L"TARLOOM_PROBE_HANDLE", nullptr);
    ::SetEnvironmentVariableW(L"TARLOOM_PROBE_FILE", nullptr);
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  bool ready() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  static constexpr const wchar_t* kProbeFile = L"C:\\inheritance-probe.bin";
  HANDLE handle_;
};

TEST_F(LaunchSetupTest, InstallerInheritsNoHandles) {
  InheritanceProbe probe;
  ASSERT_TRUE(probe.ready());
  EXPECT_EQ(Launch("C:\\Tarnby Setup\\TarLoom64"), 0u);

  const Record record = WaitForRecord(kRecord);
  ASSERT_FALSE(record.empty()) << "setup.exe did not run";
  EXPECT_EQ(record.at(L"probe_inherited"), L"0");
  // The standard handle fields the child reads are not checked: Wine fills them with the
  // console handles of a console parent whatever the inheritance flag, so they say nothing
  // about what LaunchSetup asked for.
}

// The control for the test above: a child started with inheritance on does see the probe.
TEST_F(LaunchSetupTest, ControlTheProbeSeesAnInheritedHandle) {
  InheritanceProbe probe;
  ASSERT_TRUE(probe.ready());
  std::wstring commandLine = kInstaller;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(kInstaller, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               kProductFolder, &startup, &started));
  ::CloseHandle(started.hProcess);
  ::CloseHandle(started.hThread);

  const Record record = WaitForRecord(kRecord);
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record.at(L"probe_handle_valid"), L"1");
  EXPECT_EQ(record.at(L"probe_inherited"), L"1");
}

TEST_F(LaunchSetupTest, DoesNotWaitForTheInstaller) {
  // A folder of its own: the lingering child keeps its setup.exe busy.
  constexpr const wchar_t* kFolder = L"C:\\Lingering";
  ::CreateDirectoryW(kFolder, nullptr);
  ASSERT_TRUE(::CopyFileW(SampleSetup().c_str(), L"C:\\Lingering\\setup.exe", FALSE));
  // A launch that waited would take the whole linger; one that does not takes what starting a
  // process takes, which was over 5 s in an emulated machine under load.
  constexpr DWORD kLingerMs = 20000;
  ::SetEnvironmentVariableW(L"TARLOOM_SETUP_LINGER_MS", std::to_wstring(kLingerMs).c_str());
  const DWORD start = ::GetTickCount();
  const DWORD error = Launch("C:\\Lingering");
  const DWORD elapsed = ::GetTickCount() - start;
  ::SetEnvironmentVariableW(L"TARLOOM_SETUP_LINGER_MS", nullptr);

  EXPECT_EQ(error, 0u);
  EXPECT_LT(elapsed, kLingerMs);
  EXPECT_FALSE(WaitForRecord(L"C:\\Lingering\\setup-run.txt").empty()) << "setup.exe did not run";
}

TEST_F(LaunchSetupTest, MissingInstallerFailsWithTheSystemsReasonAndNothingElseStarts) {
  ASSERT_TRUE(::DeleteFileW(kInstaller));
  // Even with a C:\Tarnby.exe to fall back on, nothing else is started in its place.
  ASSERT_TRUE(::CopyFileW(SampleSetup().c_str(), kTrapProgram, FALSE));
  EXPECT_EQ(Launch("C:\\Tarnby Setup\\TarLoom64"), DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(CurrentFolder(), kProductFolder);
  ::Sleep(1000);
  EXPECT_FALSE(Exists(kRecord));
  EXPECT_FALSE(Exists(kTrapRecord));
  ::DeleteFileW(kTrapProgram);
}

// Made before the shortcut and the notice, setup.exe must not run before they are there.
TEST_F(LaunchSetupTest, ACreatedSetupRunsOnlyOnceResumed) {
  launcher::SetupProcess setup;
  ASSERT_EQ(setup.Create("C:\\Tarnby Setup\\TarLoom64"), 0u);
  ::Sleep(1500);
  EXPECT_FALSE(Exists(kRecord)) << "setup.exe ran before it was resumed";
  setup.Resume();
  EXPECT_FALSE(WaitForRecord(kRecord).empty()) << "setup.exe did not run once resumed";
  setup.WaitForEnd();
}

}  // namespace
