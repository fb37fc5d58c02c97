#include "shortcut/shortcut_writer_win.h"

#include "shortcut/link_path.h"
#include "win32/ansi.h"
#include "win32/com.h"

namespace shortcut {

namespace {

// A BSTR for one method call: as a temporary in the call's argument list it is freed as soon
// as the call returns.
win32::UniqueBstr CallText(std::string_view ansiText) {
  return win32::UniqueBstr::FromWide(win32::AnsiToWide(ansiText).view());
}

}  // namespace

HRESULT WriteShortcut(IWshShell& shellObject, std::string_view linkPath, std::string_view targetPath,
                      std::string_view trimmedFolder, std::string_view shortcutName) {
  // Declared as IDispatch, but the object is the shortcut: it is kept as IWshShortcut as it is.
  // After a failed call the out-pointer is not trusted, not even to be released.
  IDispatch* created = nullptr;
  const HRESULT asked = shellObject.CreateShortcut(CallText(linkPath).get(), &created);
  if (FAILED(asked)) return asked;
  if (created == nullptr) return E_POINTER;
  win32::ComPtr<IWshShortcut> shortcutObject;
  *shortcutObject.put() = static_cast<IWshShortcut*>(created);

  // Each result is ignored on purpose: a property that fails does not stop the others or the save.
  shortcutObject->put_Description(CallText(shortcutName).get());
  shortcutObject->put_WorkingDirectory(CallText(trimmedFolder).get());
  shortcutObject->put_Arguments(CallText("").get());
  const auto iconLocation = IconLocation(win32::AnsiToWide(targetPath).view());
  shortcutObject->put_IconLocation(win32::UniqueBstr::FromWide(iconLocation.view()).get());
  shortcutObject->put_RelativePath(CallText(trimmedFolder).get());
  shortcutObject->put_TargetPath(CallText(targetPath).get());
  shortcutObject->put_WindowStyle(kNormalWindow);
  return shortcutObject->Save();
}

}  // namespace shortcut
