// The numbers of the .eek container and its compressed stream, in one place.
#pragma once

#include <cstdint>

namespace archive {

// Record layouts. The first byte of the archive decides which one holds for every record.
enum class Layout : std::uint8_t {
  kHeader20 = 1,  // 12-byte blank-padded name, 8-byte decimal end position
  kHeader10 = 2,  // marker, name length - 1, compressed size, uncompressed size, then the name
};

inline constexpr std::uint8_t kLayout2Marker = 0x02;

inline constexpr int32_t kLayout1HeaderSize = 20;
inline constexpr int32_t kLayout1NameSize = 12;
inline constexpr int32_t kLayout1EndPosSize = 8;
inline constexpr int32_t kLayout2HeaderSize = 10;
inline constexpr int32_t kLayout2LongestName = 256;  // the length byte holds length - 1
static_assert(kLayout1NameSize + kLayout1EndPosSize == kLayout1HeaderSize);
static_assert(kLayout2LongestName - 1 == 0xFF);

// Largest end position that fits the 8 decimal digits of a layout-1 header.
inline constexpr int32_t kLayout1LargestEndPos = 99'999'999;

// Compressed stream: a control byte x, then either x + 1 literal bytes (x <= 0x7F) or one
// position byte of a copy of (x - 0x80) + 4 bytes out of the history (x >= 0x80).
inline constexpr int32_t kReadChunk = 2048;      // compressed bytes read at a time
inline constexpr int32_t kHistorySize = 256;     // last output bytes a copy can reach
inline constexpr int32_t kShortestLiteral = 1;
inline constexpr int32_t kLongestLiteral = 128;
inline constexpr int32_t kShortestCopy = 4;
inline constexpr int32_t kLongestCopy = 131;
inline constexpr int32_t kCopyTokenSize = 2;
inline constexpr std::uint8_t kCopyFlag = 0x80;
inline constexpr int32_t kLongestToken = 1 + kLongestLiteral;  // 129
// The output buffer is written out when it holds more than a chunk at the start of a token.
inline constexpr int32_t kFlushAbove = kReadChunk;
inline constexpr int32_t kLargestOutputPiece = kFlushAbove + kLongestCopy;
// A copy that ends inside a full history starts at position 253 at most.
inline constexpr int32_t kLargestCopyPosition = kHistorySize - kShortestCopy + 1;

static_assert(kLongestLiteral - kShortestLiteral == 0x7F, "literal lengths fill x = 0..0x7F");
static_assert(kLongestCopy - kShortestCopy == 0x7F, "copy lengths fill x = 0x80..0xFF");
static_assert(kCopyFlag == kLongestLiteral, "the control byte's top bit tells the two apart");
static_assert(kLongestToken == 129 && kLongestToken > kCopyTokenSize);
static_assert(kLongestCopy <= kHistorySize, "a whole copy fits in the history");
static_assert(kLargestCopyPosition == 253);
static_assert(kLongestLiteral <= kReadChunk, "a carried-over tail and a chunk hold any token");
static_assert(kLargestOutputPiece == 2048 + 131);

}  // namespace archive
