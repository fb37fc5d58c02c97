// fileattr: sets or reads file attributes inside a Wine prefix, where they live in Wine's own
// storage (an extended attribute and the Unix mode), so a test prepares and checks them through
// Windows' own calls.
//
//   fileattr set PATH LETTERS [PATH LETTERS ...]   letters from "rhsa", or "n" for normal
//   fileattr get PATH [PATH ...]                   one JSON line per path: {"path":..,"attributes":N}
//   fileattr sddl PATH [PATH ...]                  owner and access list as Windows reads them:
//                                                  {"path":..,"sddl":"O:..D:.."} ("" when unreadable)
//   fileattr secure PATH SDDL                      sets the access list from SDDL
//
// "attributes" is -1 for a path that does not exist. Exit code 0, or 1 when a set failed.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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
  if (mode == L"sddl" && argc >= 3) {
    for (int i = 2; i < argc; ++i) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      std::string sddl;
      const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
      if (::GetNamedSecurityInfoW(argv[i], SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr,
                                  nullptr, &descriptor) == ERROR_SUCCESS) {
        LPWSTR text = nullptr;
        if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts,
                                                                   &text, nullptr)) {
          sddl = Utf8(text);
          ::LocalFree(text);
        }
        ::LocalFree(descriptor);
      }
      e2e::JsonLine line;
      line.String("path", Utf8(argv[i])).String("sddl", sddl);
      std::fputs(line.Finish().c_str(), stdout);
    }
    return 0;
  }
  if (mode == L"secure" && argc == 4) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(argv[3], SDDL_REVISION_1, &descriptor, nullptr)) {
      std::fwprintf(stderr, L"fileattr: bad SDDL %ls\n", argv[3]);
      return 2;
    }
    const BOOL ok = ::SetFileSecurityW(argv[2], DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    if (!ok) {
      std::fwprintf(stderr, L"fileattr: cannot secure %ls (error %lu)\n", argv[2], ::GetLastError());
      return 1;
    }
    return 0;
  }
  std::fwprintf(stderr, L"usage: fileattr set PATH LETTERS [PATH LETTERS ...] | get PATH [PATH ...] | "
                        L"sddl PATH [PATH ...] | secure PATH SDDL\n");
  return 2;
}
