// The two Windows Script Host interfaces the shortcut is made through, declared here because
// no SDK header has them. They are called early-bound, so the order of the methods below is
// the vtable layout of the Windows Script Host type library and must not change: each
// interface is IDispatch followed by its own methods in this order. Methods the program never
// calls are declared only to hold their slot; the collection and environment objects they
// return are typed as IDispatch.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace shortcut {

// {F935DC21-1CF0-11D0-ADB9-00C04FD58A0B}
inline constexpr IID kIidIWshShell = {
    0xF935DC21, 0x1CF0, 0x11D0, {0xAD, 0xB9, 0x00, 0xC0, 0x4F, 0xD5, 0x8A, 0x0B}};

struct IWshShell : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_SpecialFolders(IDispatch** folders) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Environment(VARIANT* type, IDispatch** environment) = 0;
  virtual HRESULT STDMETHODCALLTYPE Run(BSTR command, VARIANT* windowStyle, VARIANT* waitOnReturn,
                                        int* exitCode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Popup(BSTR text, VARIANT* secondsToWait, VARIANT* title,
                                          VARIANT* type, int* button) = 0;
  // The object it returns is an IWshShortcut (or IWshURLShortcut for a ".url" path).
  virtual HRESULT STDMETHODCALLTYPE CreateShortcut(BSTR pathLink, IDispatch** shortcut) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandEnvironmentStrings(BSTR source, BSTR* expanded) = 0;
};

struct IWshShortcut : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_FullName(BSTR* fullName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Arguments(BSTR* arguments) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Arguments(BSTR arguments) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Hotkey(BSTR* hotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Hotkey(BSTR hotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IconLocation(BSTR* iconLocation) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IconLocation(BSTR iconLocation) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RelativePath(BSTR relativePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TargetPath(BSTR* targetPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TargetPath(BSTR targetPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowStyle(int* windowStyle) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WindowStyle(int windowStyle) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WorkingDirectory(BSTR* workingDirectory) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WorkingDirectory(BSTR workingDirectory) = 0;
  virtual HRESULT STDMETHODCALLTYPE Load(BSTR pathLink) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save() = 0;
};

}  // namespace shortcut
