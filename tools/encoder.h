// The encoder: an entry's bytes into a compressed stream the decoder turns back into them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tools {

// The smallest stream under the format's rules: an optimal parse over literal runs of 1 to 128
// bytes (1 + n bytes each) and copies of 4 to 131 bytes from the last 256 output bytes (2 bytes
// each), every copy whole (position 1 or more, never reaching past the history, so never cut
// short). Runs in time proportional to the size whatever the data (the same work at every
// position, whatever its bytes); memory about 3 bytes per input byte, beside the stream.
std::vector<std::uint8_t> EncodeEntry(std::span<const std::uint8_t> data);

// A greedy parse under the same rules (the longest copy wherever one of 4 bytes exists, else
// literal bytes), for comparison with the optimal one.
std::vector<std::uint8_t> EncodeEntryGreedy(std::span<const std::uint8_t> data);

}  // namespace tools
