#include "shortcut/shell_link_win.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "win32/ansi.h"
#include "win32/com.h"

namespace shortcut {

namespace {

// Spelled out rather than taken from the SDK's uuid library, whose one object holds every
// interface identifier there is (1.6 KB of the launcher's 48).
// {00021401-0000-0000-C000-000000000046}
constexpr CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {000214F9-0000-0000-C000-000000000046}
constexpr IID kIidIShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {0000010B-0000-0000-C000-000000000046}
constexpr IID kIidIPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

HRESULT WriteShellLink(const wchar_t* linkPath, std::string_view targetPath,
                       std::string_view trimmedFolder, std::string_view shortcutName) {
  win32::ComPtr<IShellLinkW> link;
  HRESULT result = ::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidIShellLinkW,
                                      link.put_void());
  if (FAILED(result)) return result;
  if (!link) return E_NOINTERFACE;
  win32::ComPtr<IPersistFile> file;
  result = link->QueryInterface(kIidIPersistFile, file.put_void());
  if (FAILED(result)) return result;
  if (!file) return E_NOINTERFACE;

  const win32::WidePath target = win32::AnsiToWide(targetPath);
  const win32::WidePath folder = win32::AnsiToWide(trimmedFolder);
  // Ignored on purpose, as the WScript.Shell path ignores its puts: a value that does not take
  // (a target that does not exist yet, say) does not stop the others or the save.
  link->SetDescription(win32::AnsiToWide(shortcutName).c_str());
  link->SetWorkingDirectory(folder.c_str());
  link->SetArguments(L"");
  link->SetIconLocation(target.c_str(), 0);
  // No SetRelativePath: it only helps find a target that moved along with the shortcut, which
  // the product folder never does, and given a folder Wine's link object refuses it
  // (E_INVALIDARG) yet saves a damaged file whose later texts are misread (the folder as the
  // arguments, no icon).
  link->SetPath(target.c_str());
  link->SetShowCmd(SW_SHOWNORMAL);
  return file->Save(linkPath, TRUE);
}

}  // namespace shortcut
