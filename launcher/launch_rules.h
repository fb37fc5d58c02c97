// What the launch does when the installer does not start. Portable, tested natively.
#pragma once

#include <cstdint>

namespace launcher {

inline constexpr std::uint32_t kErrorElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED
inline constexpr std::uint32_t kErrorCancelled = 1223;         // ERROR_CANCELLED

enum class AfterFailedStart {
  kStartThroughShell,  // ShellExecuteExW, which shows the UAC prompt
  kSayWhy,             // a message naming the installer and the system's reason
  kNothing,            // the user's own choice
};

// CreateProcessW cannot start a program that asks for administrator rights from a process
// that is not elevated: the shell can, after asking the user. Every other failure is said.
constexpr AfterFailedStart AfterCreateProcessFailed(std::uint32_t error) {
  return error == kErrorElevationRequired ? AfterFailedStart::kStartThroughShell
                                          : AfterFailedStart::kSayWhy;
}

// A declined UAC prompt is the user's answer, not a failure to report.
constexpr AfterFailedStart AfterShellStartFailed(std::uint32_t error) {
  return error == kErrorCancelled ? AfterFailedStart::kNothing : AfterFailedStart::kSayWhy;
}

}  // namespace launcher
