// A stand-in WScript.Shell for the shortcut tests: records every call made on it and on the
// shortcut object it hands out, with the texts as received, so the order and values of the
// calls can be checked without the real Windows Script Host.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "shortcut/wsh_interfaces.h"

namespace shortcut_test {

struct Call {
  std::string method;
  bool nullText = false;  // the BSTR was null
  std::wstring text;      // the BSTR's content, by its own length
  int number = 0;         // WindowStyle
};

inline Call Named(std::string method) {
  Call call;
  call.method = std::move(method);
  return call;
}

// The texts are copied by SysStringLen, so a BSTR whose length prefix does not match its
// characters shows up as a wrong text.
inline Call TextCall(const char* method, BSTR text) {
  Call call;
  call.method = method;
  call.nullText = text == nullptr;
  if (text != nullptr) call.text.assign(text, ::SysStringLen(text));
  return call;
}

// The IUnknown and IDispatch part of a recorded object: calls are logged under `prefix`
// ("Shell." or "Shortcut."); no interface is handed out and IDispatch is never expected.
template <typename Interface>
class RecordedObject : public Interface {
 public:
  ULONG references = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    log_.push_back(Named(prefix_ + "QueryInterface"));
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    log_.push_back(Named(prefix_ + "Release"));
    return --references;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Unexpected("GetTypeInfoCount"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Unexpected("GetTypeInfo"); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Unexpected("GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return Unexpected("Invoke");
  }

 protected:
  RecordedObject(std::vector<Call>& log, std::string prefix) : log_(log), prefix_(std::move(prefix)) {}
  HRESULT Unexpected(const char* method) {
    log_.push_back(Named(prefix_ + method));
    return E_NOTIMPL;
  }
  std::vector<Call>& log_;

 private:
  std::string prefix_;
};

class RecordingShortcut : public RecordedObject<shortcut::IWshShortcut> {
 public:
  RecordingShortcut(std::vector<Call>& log, HRESULT result) : RecordedObject(log, "Shortcut."), result_(result) {}
  HRESULT STDMETHODCALLTYPE get_FullName(BSTR*) override { return Unexpected("get_FullName"); }
  HRESULT STDMETHODCALLTYPE get_Arguments(BSTR*) override { return Unexpected("get_Arguments"); }
  HRESULT STDMETHODCALLTYPE put_Arguments(BSTR text) override { return Put("Arguments", text); }
  HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return Unexpected("get_Description"); }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR text) override { return Put("Description", text); }
  HRESULT STDMETHODCALLTYPE get_Hotkey(BSTR*) override { return Unexpected("get_Hotkey"); }
  HRESULT STDMETHODCALLTYPE put_Hotkey(BSTR text) override { return Put("Hotkey", text); }
  HRESULT STDMETHODCALLTYPE get_IconLocation(BSTR*) override { return Unexpected("get_IconLocation"); }
  HRESULT STDMETHODCALLTYPE put_IconLocation(BSTR text) override { return Put("IconLocation", text); }
  HRESULT STDMETHODCALLTYPE put_RelativePath(BSTR text) override { return Put("RelativePath", text); }
  HRESULT STDMETHODCALLTYPE get_TargetPath(BSTR*) override { return Unexpected("get_TargetPath"); }
  HRESULT STDMETHODCALLTYPE put_TargetPath(BSTR text) override { return Put("TargetPath", text); }
  HRESULT STDMETHODCALLTYPE get_WindowStyle(int*) override { return Unexpected("get_WindowStyle"); }
  HRESULT STDMETHODCALLTYPE put_WindowStyle(int style) override {
    Call call;
    call.method = "WindowStyle";
    call.number = style;
    log_.push_back(call);
    return result_;
  }
  HRESULT STDMETHODCALLTYPE get_WorkingDirectory(BSTR*) override {
    return Unexpected("get_WorkingDirectory");
  }
  HRESULT STDMETHODCALLTYPE put_WorkingDirectory(BSTR text) override {
    return Put("WorkingDirectory", text);
  }
  HRESULT STDMETHODCALLTYPE Load(BSTR text) override { return Put("Load", text); }
  HRESULT STDMETHODCALLTYPE Save() override {
    log_.push_back(Named("Save"));
    return result_;
  }

 private:
  HRESULT Put(const char* property, BSTR text) {
    log_.push_back(TextCall(property, text));
    return result_;
  }
  HRESULT result_;
};

// How CreateShortcut answers.
enum class Answer { kShortcut, kFailure, kSuccessWithoutObject };

class RecordingShell : public RecordedObject<shortcut::IWshShell> {
 public:
  RecordingShell(std::vector<Call>& log, Answer answer, HRESULT shortcutResult)
      : RecordedObject(log, "Shell."), shortcut(log, shortcutResult), answer_(answer) {}
  RecordingShortcut shortcut;
  HRESULT STDMETHODCALLTYPE get_SpecialFolders(IDispatch**) override { return Unexpected("get_SpecialFolders"); }
  HRESULT STDMETHODCALLTYPE get_Environment(VARIANT*, IDispatch**) override {
    return Unexpected("get_Environment");
  }
  HRESULT STDMETHODCALLTYPE Run(BSTR, VARIANT*, VARIANT*, int*) override { return Unexpected("Run"); }
  HRESULT STDMETHODCALLTYPE Popup(BSTR, VARIANT*, VARIANT*, VARIANT*, int*) override {
    return Unexpected("Popup");
  }
  HRESULT STDMETHODCALLTYPE CreateShortcut(BSTR path, IDispatch** out) override {
    log_.push_back(TextCall("CreateShortcut", path));
    switch (answer_) {
      case Answer::kShortcut:
        *out = &shortcut;
        return S_OK;
      case Answer::kFailure:
        // A misbehaving server may leave anything in the out-pointer after a failure.
        *out = reinterpret_cast<IDispatch*>(static_cast<std::uintptr_t>(0xBAD0BAD0));
        return E_FAIL;
      case Answer::kSuccessWithoutObject:
        *out = nullptr;
        return S_OK;
    }
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ExpandEnvironmentStrings(BSTR, BSTR*) override {
    return Unexpected("ExpandEnvironmentStrings");
  }

 private:
  Answer answer_;
};

}  // namespace shortcut_test
