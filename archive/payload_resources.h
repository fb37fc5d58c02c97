// Where an installer carries its payload: the archive as RT_RCDATA 10 and its digest record
// (payload_digest.h) as RT_RCDATA 11, both in English (United States). The launcher reads them
// from its own image; `eekpack installer` writes them, and list, extract and verify read them
// back out of an installer.
#pragma once

#include <cstdint>

namespace archive {

inline constexpr std::uint16_t kPayloadResourceType = 10;  // RT_RCDATA
inline constexpr std::uint16_t kPayloadResourceId = 10;
inline constexpr std::uint16_t kDigestResourceId = 11;
inline constexpr std::uint16_t kPayloadLanguage = 1033;

}  // namespace archive
