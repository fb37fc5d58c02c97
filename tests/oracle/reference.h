// Slow, literal models of the format, written step by step from its description and sharing
// no code with the real decoder and encoder: the oracles of the tests and fuzzers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "archive/byte_io.h"

namespace oracle {

// What one entry's decoding did, as the outside sees it.
struct DecodeTrace {
  std::vector<std::vector<std::uint8_t>> writes;  // the pieces handed to the output, in order
  std::vector<int32_t> reports;                   // percentages reported
  int32_t bytesCounted = 0;
  int32_t lastPercent = 0;
};

// The decoding loop of one entry, one byte at a time, with 1-based indexes into the pending
// bytes and a history that is trimmed after every token. `archive` stands at dataStart.
// Percentages come from `percent` (ComputePercent has tests of its own).
using PercentFunction = int32_t (*)(int32_t bytesCounted, int32_t totalBytes);
DecodeTrace Decode(archive::ByteSource& archive, int64_t dataStart, int64_t dataEnd, int32_t totalBytes,
                   int32_t bytesCounted, int32_t lastPercent, PercentFunction percent);

// The bytes a stream decodes to (no reads cut short).
std::vector<std::uint8_t> DecodeBytes(std::span<const std::uint8_t> stream);

// True when `stream` follows the encoder's rules (whole tokens, whole copies: position 1 or
// more and never past the history) and decodes to exactly `data`.
bool IsEncoderStream(std::span<const std::uint8_t> stream, std::span<const std::uint8_t> data);

// The size of the smallest stream for `data`, by trying every token the rules allow at every
// position (shortest path; quadratic-ish, for small inputs only).
std::size_t OptimalSize(std::span<const std::uint8_t> data);

}  // namespace oracle
