// Program images and version information from any bytes. The reader refuses with a sentence or
// reads resources that cost no more than the file; a rewrite with those resources is refused
// with a sentence or stays within the input's scale, carries a correct checksum and reads back
// the same. A version block, the input itself or any RT_VERSION resource, is refused with a
// sentence or written back to a block that reads as the same information.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/oracle/pe_checksum.h"
#include "pe/pe_image.h"
#include "pe/version_info.h"

namespace {

void CheckVersionInfo(std::span<const std::uint8_t> bytes) {
  pe::VersionInfo info;
  std::string error;
  if (!pe::ParseVersionInfo(bytes, info, error)) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  const std::vector<std::uint8_t> written = pe::WriteVersionInfo(info, error);
  if (written.empty()) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  pe::VersionInfo again;
  FUZZ_CHECK(pe::ParseVersionInfo(written, again, error));
  FUZZ_CHECK(again == info);
}

// What reading a resource copies out of the file: its data and its two names.
std::uint64_t CopiedBytes(const std::vector<pe::Resource>& resources) {
  std::uint64_t total = 0;
  for (const pe::Resource& r : resources)
    total += r.data.size() + 2 * (r.type.name.size() + r.name.name.size());
  return total;
}

void SortResources(std::vector<pe::Resource>& resources) {
  std::sort(resources.begin(), resources.end(), [](const pe::Resource& a, const pe::Resource& b) {
    return std::tie(a.type.isName, a.type.name, a.type.number, a.name.isName, a.name.name, a.name.number,
                    a.language) < std::tie(b.type.isName, b.type.name, b.type.number, b.name.isName,
                                           b.name.name, b.name.number, b.language);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  CheckVersionInfo(bytes);

  pe::PeImage image;
  std::string error;
  if (!pe::ReadPeImage(bytes, image, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(image.file.size() == size);
  FUZZ_CHECK(CopiedBytes(image.resources) <= size);
  for (const pe::Resource& r : image.resources)
    if (r.type == pe::ResourceId::Number(pe::kResourceTypeVersion)) CheckVersionInfo(r.data);

  const std::vector<std::uint8_t> out = pe::WriteWithResources(image, image.resources, error);
  if (out.empty()) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  // The headers and sections before the resources, the new tree (its directories, entries and
  // strings at most twice what was copied, plus the data), one file alignment of padding and
  // the relocations: within a few times the input, never what an alignment alone could ask.
  FUZZ_CHECK(out.size() <= 5 * std::uint64_t{size} + 0x10000 + 0x1000);
  // Held to the independent reference, not to the checksum that wrote it.
  FUZZ_CHECK(oracle::PeChecksum(out, image.checksumOffset) ==
             (out[image.checksumOffset] | out[image.checksumOffset + 1] << 8 |
              out[image.checksumOffset + 2] << 16 |
              static_cast<std::uint32_t>(out[image.checksumOffset + 3]) << 24));
  pe::PeImage back;
  FUZZ_CHECK(pe::ReadPeImage(out, back, error));
  SortResources(image.resources);
  SortResources(back.resources);
  FUZZ_CHECK(back.resources == image.resources);
  return 0;
}
