// bench_probe: a known program for the bench's own test. Shows a window of a fixed rectangle
// whose label changes "one", "two", "three", then a message box; when the box has been
// answered it writes the time (FILETIME ticks) to probe-returned.txt in the current folder,
// starts a copy of itself that outlives it (it writes probe-child.txt after 500 ms) and ends
// with exit code 42.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kLabelId = 7;

void Pump(DWORD milliseconds) {
  const DWORD end = ::GetTickCount() + milliseconds;
  while (::GetTickCount() < end) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(5);
  }
}

}  // namespace

void WriteTime(const wchar_t* fileName) {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  char line[32];
  const int length = std::snprintf(line, sizeof line, "%llu\n",
                                   (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  HANDLE file = ::CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
}

void StartChild() {
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --child";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(path, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  if (std::strstr(commandLine, "--child") != nullptr) {
    ::Sleep(500);
    WriteTime(L"probe-child.txt");
    return 0;
  }
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"BenchProbeWindow";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, L"BenchProbeWindow", L"Bench probe", WS_POPUP | WS_BORDER, 10, 20,
                                  200, 100, nullptr, nullptr, instance, nullptr);
  HWND label = ::CreateWindowExW(0, L"STATIC", L"one", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, window,
                                 reinterpret_cast<HMENU>(kLabelId), instance, nullptr);
  // Each label text stays this long (--pump-ms N; 150 by default): long enough for the watcher
  // to see it and a picture to be taken, on a slow machine too.
  const char* pump = std::strstr(commandLine, "--pump-ms ");
  const DWORD step = pump != nullptr ? static_cast<DWORD>(std::atoi(pump + 10)) : 150;
  ::ShowWindow(window, SW_SHOWNORMAL);
  Pump(step);
  ::SetWindowTextW(label, L"two");
  Pump(step);
  ::SetWindowTextW(label, L"three");
  Pump(step);
  ::DestroyWindow(window);

  ::MessageBoxW(nullptr, L"Probe text", L"Probe caption", MB_OK);
  WriteTime(L"probe-returned.txt");
  StartChild();
  return 42;
}
