// What the bench records of one top-level window of another process: the fields a test asserts
// on, read from outside without sending messages where the window server already holds the
// answer, so that a busy program cannot stall the watcher.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "json_line.h"

namespace e2e {

struct ChildState {
  HWND hwnd = nullptr;
  std::wstring className;
  int id = 0;
  std::wstring text;
  RECT rect{};  // relative to the top-level window's client area
  DWORD style = 0;
  bool visible = false;
  int position = -1;  // PBM_GETPOS of a progress bar, -1 for other controls
  int icon = -1;      // an SS_ICON static: 1 when it holds an icon, 0 when empty; else -1
};

bool operator==(const ChildState& a, const ChildState& b);

struct WindowState {
  HWND hwnd = nullptr;
  DWORD processId = 0;
  DWORD threadId = 0;
  HWND owner = nullptr;
  std::wstring className;
  std::wstring caption;
  std::wstring boxText;  // the 0xFFFF static of a #32770 box
  DWORD style = 0;
  DWORD exStyle = 0;
  bool visible = false;
  RECT rect{};    // screen coordinates
  SIZE client{};  // client area size
  std::vector<ChildState> children;
};

// Reads the state of `hwnd` and all its descendant windows.
WindowState ReadWindowState(HWND hwnd);

// The fields that differ between two states of the same window, as a JSON array of names
// ("caption", "children", ...).
std::string ChangedFields(const WindowState& before, const WindowState& after);

// Adds the state's fields to a log line.
void AddWindowState(JsonLine& line, const WindowState& state);

std::string Utf8(const std::wstring& text);
std::string HandleText(HWND hwnd);

}  // namespace e2e
