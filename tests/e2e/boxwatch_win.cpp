// boxwatch: the bench's eyes inside the Wine session. Polls the top-level windows every
// millisecond (every N with --poll-ms N) and logs, one JSON object per line, every window it sees appear, change and go,
// and answers message boxes (#32770) with OK after a chosen delay, as a user would.
//
//   boxwatch --log FILE [--cases FILE] [--timeout-ms N] [--answer-delay-ms N] [--no-answer]
//            [--poll-ms N]
//
// With --cases it serves one case after another in a session that stays up: the harness
// writes FILE with "start NAME ANSWER DELAY_MS" (ANSWER 1 or 0) before a case and "stop NAME"
// after it; the watcher takes the file away, looks once more, and logs the case's "start" (its
// windows then up count as initial, as at the watcher's own start) or "stop", each with "case"
// NAME. Between cases no box is answered. Under emulation a program's start costs seconds: one
// watcher per session instead of one per case.
//
// A poll reads a progress bar's position by a message to its window, which the watched program
// must answer: under emulation, where every step is slower, a longer interval keeps the watcher
// from slowing the program it watches.
//
// It also logs the Windows processes of the session as they start and end ("process" with pid,
// parent and exe; "exited"), so a test can tell when a program's children have finished.
//
// Every line carries "t", the system time as FILETIME ticks (100 ns since 1601, UTC), so a test
// can order the watcher's events against times recorded by other programs. The first line is
// {"event":"start",...} (the harness starts the program under test only after it), the last
// {"event":"stop",...}; the watcher ends when it has logged nothing for the timeout (no window
// or process came, changed or went, no box was answered).
// The timeout counts from the last event, not from the start: a program still being served (a
// box up is answered again every second) or one that only just ended (whose children may still
// show a box) keeps the watcher there, however slowly the machine runs.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <string>

#include "json_line.h"
#include "window_state_win.h"

namespace {

struct Options {
  const wchar_t* logPath = nullptr;
  const wchar_t* casesPath = nullptr;
  std::int64_t timeoutMs = 120000;
  std::int64_t answerDelayMs = 0;
  unsigned pollMs = 1;
  bool answer = true;
};

struct Tracked {
  e2e::WindowState state;
  bool initial = false;           // already there when the watcher started: never answered
  std::int64_t visibleSince = -1;  // FILETIME ticks of the first poll that saw it visible
  std::int64_t answeredAt = -1;
};

constexpr std::int64_t kTicksPerMs = 10000;
// A box still up this long after OK was posted is answered again (its thread may have been
// slow to start its message loop, or the first post went to a window still being built).
constexpr std::int64_t kRepeatAnswerMs = 1000;

std::int64_t Now() {
  FILETIME time;
  ::GetSystemTimeAsFileTime(&time);
  return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Log {
 public:
  explicit Log(const wchar_t* path)
      : file_(::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Log() {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
  unsigned long long lines() const { return lines_; }
  // One WriteFile per line, unbuffered: the harness tails the file while the watcher runs.
  void Write(const e2e::JsonLine& line) {
    const std::string text = line.Finish();
    DWORD written = 0;
    ::WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ++lines_;
  }

 private:
  HANDLE file_;
  unsigned long long lines_ = 0;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--log" && hasValue) {
      options.logPath = argv[++i];
    } else if (arg == L"--cases" && hasValue) {
      options.casesPath = argv[++i];
    } else if (arg == L"--timeout-ms" && hasValue) {
      options.timeoutMs = _wtoi64(argv[++i]);
    } else if (arg == L"--answer-delay-ms" && hasValue) {
      options.answerDelayMs = _wtoi64(argv[++i]);
    } else if (arg == L"--poll-ms" && hasValue) {
      options.pollMs = static_cast<unsigned>(_wtoi(argv[++i]));
    } else if (arg == L"--no-answer") {
      options.answer = false;
    } else {
      return false;
    }
  }
  return options.logPath != nullptr && options.pollMs >= 1;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  DWORD processId = 0;
  ::GetWindowThreadProcessId(hwnd, &processId);
  if (processId != ::GetCurrentProcessId()) reinterpret_cast<std::set<HWND>*>(param)->insert(hwnd);
  return TRUE;
}

std::set<HWND> TopLevelWindows() {
  std::set<HWND> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

e2e::JsonLine Event(const char* name, std::int64_t time) {
  e2e::JsonLine line;
  line.String("event", name).Int("t", time);
  return line;
}

struct Process {
  DWORD parent = 0;
  std::wstring exe;
};

std::map<DWORD, Process> Processes() {
  std::map<DWORD, Process> processes;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return processes;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    processes[entry.th32ProcessID] = {entry.th32ParentProcessID, entry.szExeFile};
  }
  ::CloseHandle(snapshot);
  return processes;
}

void PollProcesses(Log& log, std::map<DWORD, Process>& known, bool initial) {
  std::map<DWORD, Process> current = Processes();
  if (current.empty()) return;  // a failed snapshot says nothing about exits
  const std::int64_t now = Now();
  // The new processes are logged before the ended ones: a reader that sees a program's end has
  // then seen every child it started before it ended (the harness waits on them).
  for (const auto& [pid, process] : current) {
    if (pid == ::GetCurrentProcessId()) continue;
    auto found = known.find(pid);
    // A process caught early in its start may have no image name yet: logged again once it has.
    if (found != known.end() && found->second.exe == process.exe) continue;
    log.Write(Event("process", now)
                  .Int("pid", pid)
                  .Int("parent", process.parent)
                  .String("exe", e2e::Utf8(process.exe))
                  .Bool("initial", initial));
    known[pid] = process;
  }
  for (auto it = known.begin(); it != known.end();) {
    if (current.count(it->first) == 0) {
      log.Write(Event("exited", now).Int("pid", it->first));
      it = known.erase(it);
    } else {
      ++it;
    }
  }
}

void Answer(Log& log, Tracked& window, std::int64_t now, bool repeat) {
  // The button's own handle goes with the command, as a click on it would send.
  HWND button = ::GetDlgItem(window.state.hwnd, IDOK);
  const BOOL posted = ::PostMessageW(window.state.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                     reinterpret_cast<LPARAM>(button));
  window.answeredAt = now;
  log.Write(Event("answered", now)
                .String("hwnd", e2e::HandleText(window.state.hwnd))
                .Bool("posted", posted != FALSE)
                .Bool("repeat", repeat));
}

void AnswerBoxes(Log& log, std::map<HWND, Tracked>& tracked, const Options& options, std::int64_t now) {
  for (auto& [hwnd, window] : tracked) {
    if (window.initial || window.state.className != L"#32770" || window.visibleSince < 0) continue;
    if (window.answeredAt < 0) {
      if (now - window.visibleSince >= options.answerDelayMs * kTicksPerMs) Answer(log, window, now, false);
    } else if (now - window.answeredAt >= kRepeatAnswerMs * kTicksPerMs) {
      Answer(log, window, now, true);
    }
  }
}

void Poll(Log& log, std::map<HWND, Tracked>& tracked, bool initial) {
  const std::set<HWND> current = TopLevelWindows();
  const std::int64_t now = Now();
  for (auto it = tracked.begin(); it != tracked.end();) {
    if (current.count(it->first) == 0) {
      log.Write(Event("gone", now).String("hwnd", e2e::HandleText(it->first)));
      it = tracked.erase(it);
    } else {
      ++it;
    }
  }
  for (const HWND hwnd : current) {
    auto found = tracked.find(hwnd);
    // The windows already up at the start are the session's (Wine's desktop and its helpers):
    // only their going is watched. Reading a window's state costs a dozen calls to the server.
    if (found != tracked.end() && found->second.initial) continue;
    const e2e::WindowState state = e2e::ReadWindowState(hwnd);
    if (found == tracked.end()) {
      Tracked window;
      window.initial = initial;
      window.state = state;
      if (state.visible) window.visibleSince = now;
      e2e::JsonLine line = Event("seen", now);
      line.Bool("initial", initial);
      e2e::AddWindowState(line, state);
      log.Write(line);
      tracked.emplace(hwnd, std::move(window));
      continue;
    }
    Tracked& window = found->second;
    const std::string changes = e2e::ChangedFields(window.state, state);
    if (changes != "[]") {
      e2e::JsonLine line = Event("changed", now);
      line.Raw("changes", changes);
      e2e::AddWindowState(line, state);
      log.Write(line);
      window.state = state;
    }
    if (state.visible && window.visibleSince < 0) window.visibleSince = now;
  }
}

// The harness's request in the cases file, taken away once read: {"start" or "stop", name,
// answer, delay}. Empty when there is none (or it is still being written: the harness renames
// it into place whole).
struct CaseRequest {
  std::string verb, name;
  bool answer = true;
  std::int64_t answerDelayMs = 0;
};

bool TakeCaseRequest(const wchar_t* path, CaseRequest& request) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char text[512] = {};
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, text, sizeof text - 1, &read, nullptr);
  ::CloseHandle(file);
  ::DeleteFileW(path);
  if (!ok) return false;
  char verb[16] = {}, name[256] = {};
  int answer = 1;
  long long delay = 0;
  const int fields = std::sscanf(text, "%15s %255s %d %lld", verb, name, &answer, &delay);
  if (fields < 2) return false;
  request = {verb, name, answer != 0, delay};
  return request.verb == "start" || request.verb == "stop";
}

e2e::JsonLine StartEvent(const Options& options) {
  e2e::JsonLine line = Event("start", Now());
  line.Int("pid", ::GetCurrentProcessId())
      .Raw("screen", "[" + std::to_string(::GetSystemMetrics(SM_CXSCREEN)) + "," +
                         std::to_string(::GetSystemMetrics(SM_CYSCREEN)) + "]")
      .Int("answer_delay_ms", options.answerDelayMs)
      .Bool("answer", options.answer);
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fwprintf(stderr, L"usage: boxwatch --log FILE [--timeout-ms N] "
                          L"[--answer-delay-ms N] [--no-answer] [--poll-ms N] [--cases FILE]\n");
    return 2;
  }
  Log log(options.logPath);
  if (!log.ok()) {
    std::fwprintf(stderr, L"boxwatch: cannot write %ls\n", options.logPath);
    return 2;
  }
  std::map<HWND, Tracked> tracked;
  std::map<DWORD, Process> processes;
  Poll(log, tracked, true);
  PollProcesses(log, processes, true);
  // A session's watcher answers nothing until a case starts.
  if (options.casesPath != nullptr) options.answer = false;
  log.Write(StartEvent(options));

  const ULONGLONG timeout = static_cast<ULONGLONG>(options.timeoutMs);
  ULONGLONG deadline = ::GetTickCount64() + timeout;
  unsigned long long logged = log.lines();
  for (unsigned round = 0; ::GetTickCount64() < deadline; ++round) {
    Poll(log, tracked, false);
    // A process snapshot costs far more than a window poll: taken every 20th poll (20 ms at the
    // default interval), so that windows can still be looked at every millisecond. Like the
    // window poll it is spaced out with --poll-ms, which keeps it from eating an emulated
    // machine's processors.
    constexpr unsigned processRounds = 20;
    if (round % processRounds == 0) PollProcesses(log, processes, false);
    CaseRequest request;
    if (options.casesPath != nullptr && round % processRounds == 0 && TakeCaseRequest(options.casesPath, request)) {
      // One more look first: what happened before the request belongs before its line.
      Poll(log, tracked, false);
      PollProcesses(log, processes, false);
      if (request.verb == "start") {
        for (auto& [hwnd, window] : tracked) window.initial = true;
        options.answer = request.answer;
        options.answerDelayMs = request.answerDelayMs;
        log.Write(StartEvent(options).String("case", request.name));
      } else {
        options.answer = false;
        log.Write(Event("stop", Now()).String("reason", "stop").String("case", request.name));
      }
    }
    if (options.answer) AnswerBoxes(log, tracked, options, Now());
    if (log.lines() != logged) {
      logged = log.lines();
      deadline = ::GetTickCount64() + timeout;
    }
    ::Sleep(options.pollMs);
  }
  log.Write(Event("stop", Now()).String("reason", "timeout"));
  return 0;
}
