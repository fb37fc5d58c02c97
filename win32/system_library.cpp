#include "win32/system_library.h"

#include "win32/fixed_text.h"

namespace win32 {

namespace {
// From the SDK's libloaderapi.h; spelled out for systems whose headers predate it.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
}  // namespace

void RestrictDllSearchToSystemFolder() {
  // Both looked up by name: older systems lack them, and importing one would stop the program
  // from loading there at all.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  auto set_directories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_directories != nullptr && set_directories(kSearchSystem32)) return;
  // Without it (XP, Vista, 7 without KB2533623) the current folder, often the downloads
  // folder, can at least be taken out of the search; "" does that.
  auto set_directory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryW")));
  if (set_directory != nullptr) set_directory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // A full path is never searched for, so this is safe with or without the search flags.
  WideText<MAX_PATH> path;
  const UINT length = ::GetSystemDirectoryW(path.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  path.SetLength(length);
  path.Append(L'\\').Append(name);
  if (path.cut()) return nullptr;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void InitCommonControlsFromSystem() {
  HMODULE comctl = LoadSystemLibrary(L"comctl32.dll");
  if (comctl == nullptr) return;
  using InitCommonControlsFn = void(WINAPI*)();
  auto init = reinterpret_cast<InitCommonControlsFn>(
      reinterpret_cast<void*>(::GetProcAddress(comctl, "InitCommonControls")));
  if (init != nullptr) init();
  // comctl32 stays loaded for the life of the process: the progress bar class lives in it.
}

}  // namespace win32
