#include "window_state_win.h"

#include <commctrl.h>

#include <cstdio>

namespace e2e {
namespace {

// InternalGetWindowText reads the text the window server keeps and sends no WM_GETTEXT, so a
// window whose thread is busy cannot block the watcher.
std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[1024];
  const int length = ::InternalGetWindowText(hwnd, buffer, 1024);
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256];
  const int length = ::GetClassNameW(hwnd, buffer, 256);
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

struct ChildWalk {
  HWND top;
  std::vector<ChildState>* children;
};

BOOL CALLBACK AddChild(HWND hwnd, LPARAM param) {
  auto* walk = reinterpret_cast<ChildWalk*>(param);
  ChildState child;
  child.hwnd = hwnd;
  child.className = ClassOf(hwnd);
  child.id = ::GetDlgCtrlID(hwnd);
  child.text = TextOf(hwnd);
  ::GetWindowRect(hwnd, &child.rect);
  ::MapWindowPoints(HWND_DESKTOP, walk->top, reinterpret_cast<POINT*>(&child.rect), 2);
  child.style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
  child.visible = ::IsWindowVisible(hwnd) != FALSE;
  if (::lstrcmpiW(child.className.c_str(), PROGRESS_CLASSW) == 0) {
    // A message to another process: bounded, so a hung window thread costs 100 ms at most.
    DWORD_PTR position = 0;
    if (::SendMessageTimeoutW(hwnd, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 100, &position) != 0) {
      child.position = static_cast<int>(position);
    }
  } else if (::lstrcmpiW(child.className.c_str(), L"Static") == 0 && (child.style & SS_TYPEMASK) == SS_ICON) {
    // A message box keeps its icon static even without an icon; only the image tells.
    DWORD_PTR icon = 0;
    if (::SendMessageTimeoutW(hwnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 100, &icon) != 0) {
      child.icon = icon != 0 ? 1 : 0;
    }
  }
  walk->children->push_back(child);
  return TRUE;
}

std::string RectJson(const RECT& rect) {
  char text[64];
  std::snprintf(text, sizeof text, "[%ld,%ld,%ld,%ld]", rect.left, rect.top, rect.right,
                rect.bottom);
  return text;
}

}  // namespace

bool operator==(const ChildState& a, const ChildState& b) {
  return a.hwnd == b.hwnd && a.className == b.className && a.id == b.id && a.text == b.text &&
         ::EqualRect(&a.rect, &b.rect) && a.style == b.style && a.visible == b.visible &&
         a.position == b.position && a.icon == b.icon;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), bytes, nullptr, nullptr);
  return result;
}

std::string HandleText(HWND hwnd) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)));
  return text;
}

WindowState ReadWindowState(HWND hwnd) {
  WindowState state;
  state.hwnd = hwnd;
  // Visible only if visible before the first read and after the last: a watcher held up between
  // its reads could otherwise pair the empty texts of a box still being built with the
  // visibility it had by then (and answer that), or a shown window with a style read after it hid.
  const bool visibleBefore = ::IsWindowVisible(hwnd) != FALSE;
  state.threadId = ::GetWindowThreadProcessId(hwnd, &state.processId);
  state.owner = ::GetWindow(hwnd, GW_OWNER);
  state.className = ClassOf(hwnd);
  state.caption = TextOf(hwnd);
  if (state.className == L"#32770") {
    if (HWND text = ::GetDlgItem(hwnd, 0xFFFF)) state.boxText = TextOf(text);
  }
  state.style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
  state.exStyle = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_EXSTYLE));
  ::GetWindowRect(hwnd, &state.rect);
  RECT client{};
  ::GetClientRect(hwnd, &client);
  state.client = {client.right - client.left, client.bottom - client.top};
  ChildWalk walk{hwnd, &state.children};
  ::EnumChildWindows(hwnd, AddChild, reinterpret_cast<LPARAM>(&walk));
  state.visible = visibleBefore && ::IsWindowVisible(hwnd) != FALSE;
  return state;
}

std::string ChangedFields(const WindowState& before, const WindowState& after) {
  std::string names = "[";
  auto add = [&names](const char* name) {
    if (names.size() > 1) names += ',';
    names += JsonLine::Quote(name);
  };
  if (before.owner != after.owner) add("owner");
  if (before.caption != after.caption) add("caption");
  if (before.boxText != after.boxText) add("text");
  if (before.style != after.style) add("style");
  if (before.exStyle != after.exStyle) add("exstyle");
  if (before.visible != after.visible) add("visible");
  if (!EqualRect(&before.rect, &after.rect)) add("rect");
  if (before.client.cx != after.client.cx || before.client.cy != after.client.cy) add("client");
  if (before.children != after.children) add("children");
  return names + "]";
}

void AddWindowState(JsonLine& line, const WindowState& state) {
  line.String("hwnd", HandleText(state.hwnd))
      .Int("pid", state.processId)
      .Int("tid", state.threadId)
      .String("owner", HandleText(state.owner))
      .String("class", Utf8(state.className))
      .String("caption", Utf8(state.caption))
      .String("text", Utf8(state.boxText))
      .Int("style", state.style)
      .Int("exstyle", state.exStyle)
      .Bool("visible", state.visible)
      .Raw("rect", RectJson(state.rect))
      .Raw("client", "[" + std::to_string(state.client.cx) + "," + std::to_string(state.client.cy) + "]");
  std::string children = "[";
  for (const ChildState& child : state.children) {
    if (children.size() > 1) children += ',';
    JsonLine item;
    item.String("hwnd", HandleText(child.hwnd))
        .String("class", Utf8(child.className))
        .Int("id", child.id)
        .String("text", Utf8(child.text))
        .Raw("rect", RectJson(child.rect))
        .Int("style", child.style)
        .Bool("visible", child.visible)
        .Int("pos", child.position)
        .Int("icon", child.icon);
    children += item.Object();
  }
  line.Raw("children", children + "]");
}

}  // namespace e2e
