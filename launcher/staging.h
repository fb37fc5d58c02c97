// The payload resource, and the staged archive: the payload written, byte for byte, to a file
// of the current folder, and removed again afterwards.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "archive/payload_resources.h"

namespace launcher {

// Removes a staged archive left in the current folder. Only a plain file is seen: a hidden or
// system one stays, and a read-only one cannot be deleted.
void DeleteStagedArchive();

// The payload resource (RT_RCDATA 10) in the program's own image. When it is missing,
// "Resource Not Found!" has been shown by the time this returns, and `found` is false.
struct Payload {
  bool found = false;
  std::span<const std::uint8_t> bytes;
};
Payload LoadPayload(HINSTANCE module);

// An RT_RCDATA resource of `module` with the integer id `id`, without a word when it is missing.
Payload FindRcData(HINSTANCE module, WORD id);

// Writes the payload to a new file `stagedArchiveName` in one write straight from the
// resource's memory; anything already under that name (a leftover the delete left, a link) is
// left alone and nothing is staged. Returns whether the file now holds exactly the payload; a
// file that could not be written whole (a full drive) is removed again. Nothing is reported: the unpacking
// reads the resource itself, so a start folder that cannot be written (a CD, a share) changes
// nothing.
bool StagePayload(const Payload& payload, std::string_view stagedArchiveName);

}  // namespace launcher
