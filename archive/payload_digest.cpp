#include "archive/payload_digest.h"

namespace archive {

namespace {

constexpr std::uint8_t kTag[4] = {'E', 'K', 'D', '1'};

// Eight tables, so that the loop takes eight bytes per round (slicing by eight): the check
// must cost little beside the decoding. Built on first use, not stored in the image: the
// launcher's file stays small and it runs no static constructors.
struct Crc32Tables {
  std::uint32_t table[8][256];
  bool built;
};
Crc32Tables tables;

void BuildTables() {
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    tables.table[0][byte] = crc;
  }
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    for (int slice = 1; slice < 8; ++slice) {
      const std::uint32_t previous = tables.table[slice - 1][byte];
      tables.table[slice][byte] = (previous >> 8) ^ tables.table[0][previous & 0xFF];
    }
  }
  tables.built = true;
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void Put32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  if (!tables.built) BuildTables();
  const auto& t = tables.table;
  crc = ~crc;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 8; left -= 8, p += 8) {
    const std::uint32_t low = Get32(p) ^ crc;
    const std::uint32_t high = Get32(p + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; left > 0; --left, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return ~crc;
}

PayloadDigest DigestOf(std::span<const std::uint8_t> payload) {
  return {static_cast<std::uint32_t>(payload.size()), Crc32(payload)};
}

void WriteDigestRecord(const PayloadDigest& digest, std::uint8_t (&record)[kDigestRecordSize]) {
  for (int i = 0; i < 4; ++i) record[i] = kTag[i];
  Put32(record + 4, digest.length);
  Put32(record + 8, digest.crc);
}

std::optional<PayloadDigest> ReadDigestRecord(std::span<const std::uint8_t> record) {
  if (record.size() != kDigestRecordSize) return std::nullopt;
  for (int i = 0; i < 4; ++i) {
    if (record[i] != kTag[i]) return std::nullopt;
  }
  return PayloadDigest{Get32(record.data() + 4), Get32(record.data() + 8)};
}

bool PayloadMatches(std::span<const std::uint8_t> payload, std::span<const std::uint8_t> record) {
  const std::optional<PayloadDigest> stored = ReadDigestRecord(record);
  // The length first: a cut payload is told without reading it through.
  return stored && stored->length == payload.size() && *stored == DigestOf(payload);
}

}  // namespace archive
