// lnkread: prints a shortcut file's fields as the shell itself reads them (IShellLinkW loaded
// through IPersistFile), one key=value line each, UTF-8, for the end-to-end tests.
//
//   lnkread PATH        exit code 0 when loaded, 1 when the file is missing or not a shortcut
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

#include "../win/shortcut/shortcut_files.h"

namespace {

void Line(const char* key, const std::wstring& value) {
  std::string bytes;
  if (!value.empty()) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, value.data(), int(value.size()), nullptr, 0,
                                           nullptr, nullptr);
    bytes.resize(size_t(size));
    ::WideCharToMultiByte(CP_UTF8, 0, value.data(), int(value.size()), bytes.data(), size, nullptr,
                          nullptr);
  }
  std::printf("%s=%s\n", key, bytes.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lnkread PATH\n");
    return 2;
  }
  if (FAILED(::CoInitialize(nullptr))) return 2;
  const shortcut_test::LinkFields fields = shortcut_test::ReadLink(argv[1]);
  ::CoUninitialize();
  Line("loaded", fields.loaded ? L"1" : L"0");
  if (!fields.loaded) return 1;
  Line("target", fields.path);
  Line("working_folder", fields.workingFolder);
  Line("description", fields.description);
  Line("arguments", fields.arguments);
  Line("icon_path", fields.iconPath);
  Line("icon_index", std::to_wstring(fields.iconIndex));
  Line("show_command", std::to_wstring(fields.showCommand));
  std::fflush(stdout);
  return 0;
}
