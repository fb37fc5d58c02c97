#include "launcher/payload_check.h"

#include "archive/payload_digest.h"
#include "launcher/staging.h"

namespace launcher {

bool PayloadMatchesItsDigest(HINSTANCE module) {
  const Payload digest = FindRcData(module, archive::kDigestResourceId);
  if (!digest.found) return true;
  const Payload payload = FindRcData(module, archive::kPayloadResourceId);
  return payload.found && archive::PayloadMatches(payload.bytes, digest.bytes);
}

}  // namespace launcher
