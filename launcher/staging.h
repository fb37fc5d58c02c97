// The staged archive: the embedded payload written, byte for byte, to a file of the current
// folder so that the unpacking reads it like any archive, and removed again afterwards.
#pragma once

#include <windows.h>

#include <string_view>

namespace launcher {

// Removes a staged archive left in the current folder. Only a plain file is seen: a hidden or
// system one stays, and a read-only one cannot be deleted.
void DeleteStagedArchive();

// Writes the payload resource (RT_RCDATA 10) to `stagedArchiveName`. Returns false only when the
// resource is missing, after "Resource Not Found!" was shown; a file that cannot be written is
// not reported (the unpacking then finds nothing, or the leftover).
bool StagePayload(HINSTANCE module, std::string_view stagedArchiveName);

}  // namespace launcher
