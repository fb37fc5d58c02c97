#include "cli/installer_payload.h"

#include <utility>

#include "archive/payload_digest.h"
#include "pe/pe_image.h"

namespace cli {

bool ReadInstallerPayload(std::vector<std::uint8_t>&& file, InstallerPayload& payload, std::string& error) {
  pe::PeImage image;
  if (!pe::ReadPeImage(std::move(file), image, error)) {
    error = "not a 32-bit Windows program that can be read: " + error;
    return false;
  }
  const pe::Resource* archive =
      pe::FindResource(image.resources, pe::kResourceTypeRcData, archive::kPayloadResourceId, kEnglishUs);
  if (archive == nullptr) {
    error = "no payload: no payload resource (RT_RCDATA 10, English), so not an installer of ours";
    return false;
  }
  payload = InstallerPayload{};
  for (pe::Resource& resource : image.resources)
    if (&resource == archive) payload.archive = std::move(resource.data);  // the image goes now
  const pe::Resource* digest =
      pe::FindResource(image.resources, pe::kResourceTypeRcData, archive::kDigestResourceId, kEnglishUs);
  payload.hasDigest = digest != nullptr;
  if (digest != nullptr) payload.digestRecord = digest->data;
  return true;
}

}  // namespace cli
