// The staged archive: the embedded payload written, byte for byte, to a file of the current
// folder so that the unpacking reads it like any archive, and removed again afterwards.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// Removes a staged archive left in the current folder. Only a plain file is seen: a hidden or
// system one stays, and a read-only one cannot be deleted.
void DeleteStagedArchive();

enum class Staging {
  kWritten,          // the file holds exactly the payload's bytes
  kNotWritten,       // the file could not be created or fully written; nothing is reported
  kResourceMissing,  // "Resource Not Found!" has been shown
};

// Writes the payload resource (RT_RCDATA 10) to `stagedArchiveName` in one write straight from
// the resource's memory.
Staging StagePayload(HINSTANCE module, std::string_view stagedArchiveName);

}  // namespace launcher
