// fileattr: sets or reads file attributes inside a Wine prefix, where they live in Wine's own
// storage (an extended attribute and the Unix mode), so a test prepares and checks them through
// Windows' own calls.
//
//   fileattr set PATH LETTERS [PATH LETTERS ...]   letters from "rhsa", or "n" for normal
//   fileattr get PATH [PATH ...]                   one JSON line per path: {"path":..,"attributes":N}
//
// "attributes" is -1 for a path that does not exist. Exit code 0, or 1 when a set failed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "json_line.h"

namespace {

bool ParseLetters(const std::wstring& letters, DWORD& attributes) {
  attributes = 0;
  for (const wchar_t letter : letters) {
    switch (letter) {
      case L'r': attributes |= FILE_ATTRIBUTE_READONLY; break;
      case L'h': attributes |= FILE_ATTRIBUTE_HIDDEN; break;
      case L's': attributes |= FILE_ATTRIBUTE_SYSTEM; break;
      case L'a': attributes |= FILE_ATTRIBUTE_ARCHIVE; break;
      case L'n': break;
      default: return false;
    }
  }
  return true;
}

std::string Utf8(const wchar_t* text) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
  result.pop_back();
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"set" && argc >= 4 && argc % 2 == 0) {
    int status = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
      DWORD attributes = 0;
      if (!ParseLetters(argv[i + 1], attributes)) {
        std::fwprintf(stderr, L"fileattr: bad letters %ls\n", argv[i + 1]);
        return 2;
      }
      if (!::SetFileAttributesW(argv[i], attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes)) {
        std::fwprintf(stderr, L"fileattr: cannot set %ls (error %lu)\n", argv[i], ::GetLastError());
        status = 1;
      }
    }
    return status;
  }
  if (mode == L"get" && argc >= 3) {
    for (int i = 2; i < argc; ++i) {
      const DWORD attributes = ::GetFileAttributesW(argv[i]);
      e2e::JsonLine line;
      line.String("path", Utf8(argv[i]))
          .Int("attributes", attributes == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<long long>(attributes));
      std::fputs(line.Finish().c_str(), stdout);
    }
    return 0;
  }
  std::fwprintf(stderr, L"usage: fileattr set PATH LETTERS [PATH LETTERS ...] | fileattr get PATH [PATH ...]\n");
  return 2;
}
