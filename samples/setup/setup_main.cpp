// The sample payload's setup.exe: it stands in for a vendor's installer and records where and
// how it was started, in "setup-run.txt" beside itself (UTF-8, one key=value line each), so the
// tests can check the launch. Then it exits on its own.
//
// Inheritance is checked with a probe the test parent sets up: it opens a file with an
// inheritable handle and passes the handle's value and the file's path in the environment
// (TARLOOM_PROBE_HANDLE, TARLOOM_PROBE_FILE), which every child gets. A handle value alone
// proves nothing, since the child may hold a handle of its own at that number; so the handle
// counts as inherited only when it is a file handle to that very file (same volume and file
// index as the file opened here by name).
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024];
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  if (length == 0 || length >= 1024) return {};
  return std::wstring(value, length);
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH * 2];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH * 2, folder);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  return std::wstring(folder, length);
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  return std::wstring(path, length);
}

bool SameFile(HANDLE handle, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION given{};
  if (!::GetFileInformationByHandle(handle, &given)) return false;
  HANDLE own = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (own == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named{};
  const bool read = ::GetFileInformationByHandle(own, &named) != 0;
  ::CloseHandle(own);
  return read && given.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         given.nFileIndexHigh == named.nFileIndexHigh && given.nFileIndexLow == named.nFileIndexLow;
}

std::wstring Number(std::uint64_t value) { return std::to_wstring(value); }

std::wstring HandleNumber(HANDLE handle) {
  return Number(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle)));
}

void Line(std::wstring& record, const wchar_t* key, const std::wstring& value) {
  record += key;
  record += L'=';
  record += value;
  record += L'\n';
}

// 1 when this process runs elevated (with administrator rights), else 0.
const wchar_t* Elevated() {
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
                        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  if (token != nullptr) ::CloseHandle(token);
  return elevated ? L"1" : L"0";
}

std::wstring Record() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);

  std::wstring record;
  Line(record, L"current_folder", CurrentFolder());
  Line(record, L"command_line", ::GetCommandLineW());
  Line(record, L"module_path", ModulePath());
  Line(record, L"startup_flags", Number(startup.dwFlags));
  Line(record, L"show_window", Number(startup.wShowWindow));
  Line(record, L"elevated", Elevated());
  Line(record, L"std_input", HandleNumber(startup.hStdInput));
  Line(record, L"std_output", HandleNumber(startup.hStdOutput));
  Line(record, L"std_error", HandleNumber(startup.hStdError));

  const std::wstring probeValue = Environment(L"TARLOOM_PROBE_HANDLE");
  const std::wstring probeFile = Environment(L"TARLOOM_PROBE_FILE");
  if (!probeValue.empty() && !probeFile.empty()) {
    const auto value = static_cast<std::uintptr_t>(std::wcstoull(probeValue.c_str(), nullptr, 10));
    HANDLE probe = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    Line(record, L"probe_handle", probeValue);
    Line(record, L"probe_handle_valid", ::GetHandleInformation(probe, &flags) ? L"1" : L"0");
    Line(record, L"probe_inherited", SameFile(probe, probeFile) ? L"1" : L"0");
  } else {
    Line(record, L"probe_handle", L"none");
  }
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  Line(record, L"started_at", Number(ticks));
  return record;
}

// Written under a temporary name and then renamed, so a reader polling for the record never
// sees half of it.
void WriteBeside(const std::wstring& modulePath, const std::wstring& record) {
  const std::size_t slash = modulePath.find_last_of(L'\\');
  if (slash == std::wstring::npos) return;
  const std::wstring path = modulePath.substr(0, slash + 1) + L"setup-run.txt";
  const std::wstring temporary = path + L".tmp";

  const int size = ::WideCharToMultiByte(CP_UTF8, 0, record.data(), static_cast<int>(record.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, record.data(), static_cast<int>(record.size()), bytes.data(),
                        size, nullptr, nullptr);

  HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  if (!ok || !::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileW(temporary.c_str());
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  WriteBeside(ModulePath(), Record());
  // A test that checks the launcher does not wait for its child asks the child to stay a while.
  const std::wstring linger = Environment(L"TARLOOM_SETUP_LINGER_MS");
  if (!linger.empty()) {
    const unsigned long milliseconds = std::wcstoul(linger.c_str(), nullptr, 10);
    ::Sleep(milliseconds < 30000 ? milliseconds : 30000);
  }
  return 0;
}
