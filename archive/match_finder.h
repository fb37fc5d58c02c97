// The encoder's match finder: for every position, the longest copy the format allows there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace archive {

// For every position i of `data`, the longest copy that can produce data[i...]: a run of 4 to
// 131 bytes equal to bytes d = 1..256 places back (d <= i), wholly before i (length <= d).
// length[i] is that length, or 0 when no copy of 4 bytes exists; distance[i] is the nearest
// distance d that reaches it (1..256, stored as d - 1), and 0 where length[i] is 0.
//
// The work per position is fixed, whatever the data: one pass over the 256 distances, kept
// as running match counts, with no branch that depends on the bytes, so long runs of one
// byte, random bytes and text all cost about the same.
void FindLongestCopies(std::span<const std::uint8_t> data, std::span<std::uint8_t> length,
                       std::span<std::uint8_t> distance);

// The same for positions [first, last) of `data` alone, into length[i - first] and
// distance[i - first]: exactly what the whole data's call gives there, as a copy looks no
// further than 256 bytes back and 131 ahead. Calls on ranges apart may run side by side.
void FindLongestCopies(std::span<const std::uint8_t> data, std::size_t first, std::size_t last,
                       std::span<std::uint8_t> length, std::span<std::uint8_t> distance);

}  // namespace archive
