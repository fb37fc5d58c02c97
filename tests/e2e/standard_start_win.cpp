// standard_start: starts a program the way Explorer does for an administrator under UAC, with
// the limited twin of this process's token (not elevated), waits for it and passes its exit code
// on. Wine gives every program started from outside a fully elevated token, as if each were
// started with "Run as administrator"; the bench starts the launcher through this, so that a
// plain start is a standard user's, as on Windows.
//
//   standard_start PROGRAM [ARGUMENTS...]     exit code: PROGRAM's, or 125 when it was not started
#include <windows.h>

#include <cstdio>

int wmain() {
  // The program's command line is ours after our own name, as it was given.
  const wchar_t* rest = ::GetCommandLineW();
  if (*rest == L'"') {
    ++rest;
    while (*rest != L'\0' && *rest != L'"') ++rest;
    if (*rest == L'"') ++rest;
  } else {
    while (*rest != L'\0' && *rest != L' ' && *rest != L'\t') ++rest;
  }
  while (*rest == L' ' || *rest == L'\t') ++rest;
  if (*rest == L'\0') {
    std::fputs("usage: standard_start PROGRAM [ARGUMENTS...]\n", stderr);
    return 125;
  }

  HANDLE own = nullptr;
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  TOKEN_ELEVATION_TYPE type{};
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own) ||
      !::GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size) ||
      type != TokenElevationTypeFull ||
      !::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) {
    std::fprintf(stderr, "standard_start: no limited token to start with (error %lu)\n", ::GetLastError());
    return 125;
  }
  HANDLE primary = nullptr;
  if (!::DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                          &primary)) {
    std::fprintf(stderr, "standard_start: the limited token cannot be used (error %lu)\n", ::GetLastError());
    return 125;
  }
  static wchar_t commandLine[32768];
  lstrcpynW(commandLine, rest, 32768);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessAsUserW(primary, nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &process)) {
    std::fprintf(stderr, "standard_start: %ls not started (error %lu)\n", commandLine, ::GetLastError());
    return 125;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  ::GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}
