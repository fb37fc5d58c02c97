#include "launcher/elevated_ticket.h"

namespace launcher {

namespace {

constexpr int kDigits = 16;

void AppendHex(TicketText& text, std::uint64_t value) {
  for (int shift = 4 * (kDigits - 1); shift >= 0; shift -= 4) {
    const int digit = static_cast<int>((value >> shift) & 0xF);
    text.Append(static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'A' + digit - 10));
  }
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

TicketText ElevatedRunArgument(std::uint64_t ticket) {
  TicketText argument(kElevatedRunSwitch);
  AppendHex(argument, ticket);
  return argument;
}

bool ReadElevatedRunArgument(std::wstring_view commandLine, std::uint64_t& ticket) {
  // The program's name, as the system splits it: up to the closing quote, or the first blank.
  std::size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const std::size_t close = commandLine.find(L'"', 1);
    if (close == std::wstring_view::npos) return false;
    at = close + 1;
  } else {
    while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
  }
  std::wstring_view rest = commandLine.substr(at);
  while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
  while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
  if (rest.size() != kElevatedRunSwitch.size() + kDigits || rest.substr(0, kElevatedRunSwitch.size()) != kElevatedRunSwitch) {
    return false;
  }
  std::uint64_t value = 0;
  for (const wchar_t c : rest.substr(kElevatedRunSwitch.size())) {
    int digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  ticket = value;
  return true;
}

TicketText HandshakeName(std::uint64_t ticket, std::wstring_view what) {
  TicketText name(L"Local\\TarnbyTarLoom64Setup.");
  AppendHex(name, ticket);
  name.Append(L'.').Append(what);
  return name;
}

}  // namespace launcher
