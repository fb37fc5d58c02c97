// The launcher's fixed names and message texts.
#pragma once

#include <string_view>

namespace launcher {

inline constexpr std::string_view kStagedArchiveName = "Bulktemp.eek";
inline constexpr std::string_view kShortcutName = "Tarnby TarLoom64 Setup";

inline constexpr std::string_view kSetupCaption = "Tarnby TarLoom64 Setup";
inline constexpr std::string_view kPlatformRefused = "Win98 No Support";
inline constexpr std::string_view kResourceNotFound = "Resource Not Found!";
inline constexpr std::string_view kNoticeCaption = "Tarnby TarLoom64 Setup Message";
// A payload that does not match its digest: a cut or changed download.
inline constexpr std::string_view kInstallerDamaged =
    "Tarnby TarLoom64 Setup is damaged. Please download it again.";
// An archive the unpacking could not take whole; the entry's name and this follow.
inline constexpr std::string_view kFilesDamaged = "The installation files are damaged";
inline constexpr std::string_view kDownloadAgain = "Please download Tarnby TarLoom64 Setup again.";
inline constexpr std::string_view kAlreadyRunning = "Tarnby TarLoom64 Setup is already running.";

}  // namespace launcher
