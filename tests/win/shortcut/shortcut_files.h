// File helpers of the shortcut tests: the prefix's desktop, small files, and a shortcut read
// back through the shell's own IShellLinkW and IPersistFile.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <string_view>

namespace shortcut_test {

inline std::wstring DesktopFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

inline bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool WriteFile(const wchar_t* path, std::string_view bytes) {
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

// A plain file where the desktop folder should be, so that no shortcut can be saved there; the
// shortcuts already on it go first. UnblockDesktop puts an empty folder back.
inline bool BlockDesktop(const std::wstring& desktop) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((desktop + L"\\*.lnk").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do ::DeleteFileW((desktop + L"\\" + found.cFileName).c_str());
    while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  return ::RemoveDirectoryW(desktop.c_str()) && WriteFile(desktop.c_str(), "in the way");
}

inline void UnblockDesktop(const std::wstring& desktop) {
  ::DeleteFileW(desktop.c_str());
  ::CreateDirectoryW(desktop.c_str(), nullptr);
}

struct LinkFields {
  bool loaded = false;
  std::wstring path;
  std::wstring workingFolder;
  std::wstring description;
  std::wstring arguments;
  std::wstring iconPath;
  int iconIndex = -1;
  int showCommand = -1;
};

inline LinkFields ReadLink(const std::wstring& linkPath) {
  LinkFields fields;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return fields;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (Exists(linkPath) && SUCCEEDED(file->Load(linkPath.c_str(), STGM_READ))) {
      fields.loaded = true;
      wchar_t text[1024] = {};
      if (SUCCEEDED(link->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) fields.path = text;
      text[0] = 0;
      if (SUCCEEDED(link->GetWorkingDirectory(text, 1024))) fields.workingFolder = text;
      text[0] = 0;
      if (SUCCEEDED(link->GetDescription(text, 1024))) fields.description = text;
      text[0] = 0;
      if (SUCCEEDED(link->GetArguments(text, 1024))) fields.arguments = text;
      text[0] = 0;
      int index = -1;
      if (SUCCEEDED(link->GetIconLocation(text, 1024, &index))) {
        fields.iconPath = text;
        fields.iconIndex = index;
      }
      int show = -1;
      if (SUCCEEDED(link->GetShowCmd(&show))) fields.showCommand = show;
    }
    file->Release();
  }
  link->Release();
  return fields;
}

}  // namespace shortcut_test
