// The launcher's resources as an installer carries them: the payload archive and its digest
// record (archive/payload_resources.h) and the version information (RT_VERSION 1), all English
// (United States). `eekpack installer` writes them;
// list, extract and verify read the payload back out of an installer without running it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/payload_resources.h"

namespace cli {

constexpr std::uint16_t kVersionId = 1;
constexpr std::uint16_t kEnglishUs = archive::kPayloadLanguage;

// What an installer carries. An empty archive is the launcher's own empty payload (a stub).
struct InstallerPayload {
  std::vector<std::uint8_t> archive;
  bool hasDigest = false;
  std::vector<std::uint8_t> digestRecord;  // the digest resource's bytes, as stored
};

// Reads the payload, and its digest record when there is one, out of the program image
// `file`. False with one sentence in `error` for a file that is not a 32-bit Windows program
// or cannot be read as one (see pe::ReadPeImage: never a read outside `file`, memory in
// proportion to it), or that carries no payload resource. `file` is taken over and freed, so
// that the file and its payload are held once each at most.
bool ReadInstallerPayload(std::vector<std::uint8_t>&& file, InstallerPayload& payload, std::string& error);

}  // namespace cli
