#include "archive/payload_digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace archive {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// One bit at a time, straight from the polynomial: the oracle for the tables and the folding.
std::uint32_t BitwiseCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = ~0u;
  for (const std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST(Crc32, MatchesTheStandardCheckValueAndTheBitwiseOracleAtEveryLengthAndSplit) {
  EXPECT_EQ(Crc32(Bytes("123456789")), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes("")), 0u);
  // Lengths and split points around the 8-byte table rounds and the 16- and 64-byte folds
  // (where the processor can fold), so that every path meets every other at every offset.
  std::vector<std::uint8_t> data(4099);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + (i >> 7) + 11);
  const std::span<const std::uint8_t> all(data);
  for (std::size_t length = 0; length <= 300; ++length) {
    ASSERT_EQ(Crc32(all.first(length)), BitwiseCrc32(all.first(length))) << length;
  }
  const std::uint32_t whole = BitwiseCrc32(all);
  ASSERT_EQ(Crc32(all), whole);
  for (std::size_t cut = 0; cut <= data.size(); cut += 13) {
    ASSERT_EQ(Crc32(all.subspan(cut), Crc32(all.first(cut))), whole) << cut;
  }
}

TEST(PayloadDigest, TellsTheSoundPayloadFromACutOrChangedOne) {
  std::vector<std::uint8_t> payload(100000);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
  std::uint8_t record[kDigestRecordSize];
  WriteDigestRecord(DigestOf(payload), record);
  EXPECT_TRUE(PayloadMatches(payload, record));

  EXPECT_FALSE(PayloadMatches(std::span(payload).first(payload.size() - 1), record));
  payload[payload.size() / 2] ^= 0x04;
  EXPECT_FALSE(PayloadMatches(payload, record));
  payload[payload.size() / 2] ^= 0x04;

  // A record that is not one (wrong tag, wrong size) matches nothing.
  std::uint8_t other[kDigestRecordSize];
  WriteDigestRecord(DigestOf(payload), other);
  other[0] = 'X';
  EXPECT_FALSE(PayloadMatches(payload, other));
  EXPECT_FALSE(PayloadMatches(payload, std::span(record).first(kDigestRecordSize - 1)));
}

}  // namespace
}  // namespace archive
