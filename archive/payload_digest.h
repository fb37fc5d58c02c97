// The payload digest: a CRC-32 of the payload's bytes and their count, which the packer stores
// in a resource of its own beside the payload and the launcher checks before it writes
// anything. It tells a cut or changed download from a sound one; it is no signature (anyone who
// changes the payload can change the digest too; the installer's signature covers both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "archive/payload_resources.h"

namespace archive {

// Its bytes: "EKD1", then the payload's length and its CRC-32, both 32-bit little-endian.
inline constexpr std::size_t kDigestRecordSize = 12;

// CRC-32 as zip and PNG use it (reflected polynomial 0xEDB88320, all-ones start and end),
// continued from `crc` (0 to start).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

struct PayloadDigest {
  std::uint32_t length = 0;
  std::uint32_t crc = 0;
  friend bool operator==(const PayloadDigest&, const PayloadDigest&) = default;
};

PayloadDigest DigestOf(std::span<const std::uint8_t> payload);

// The record's bytes, and back; a record of another size or tag reads as nothing (a damaged
// digest, never an absent one: the caller found the resource).
void WriteDigestRecord(const PayloadDigest& digest, std::uint8_t (&record)[kDigestRecordSize]);
std::optional<PayloadDigest> ReadDigestRecord(std::span<const std::uint8_t> record);

// True when `payload` is the one the record describes. A record that cannot be read matches
// nothing.
bool PayloadMatches(std::span<const std::uint8_t> payload, std::span<const std::uint8_t> record);

}  // namespace archive
