// Building archives: one record at a time, in either layout. Used by the packer and tests.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "archive/format.h"

namespace archive {

enum class RecordError {
  kNone,
  kEmptyName,
  kNameTooLong,     // over 12 bytes (layout 1) or 256 bytes (layout 2)
  kTooLarge,        // a size or the archive would pass the signed 32-bit range
  kEndPosTooLarge,  // layout 1: the end position needs more than 8 digits
};

// Appends a record holding `name` (stored as given; the reader cleans it) and the compressed
// `stream` of an entry of `decodedSize` bytes. On an error nothing is appended.
// Layout 1 pads the name with blanks to 12 bytes and writes the end position right-aligned.
RecordError AppendRecord(std::vector<std::uint8_t>& archive, archive::Layout layout, std::string_view name,
                         std::span<const std::uint8_t> stream, int64_t decodedSize);

}  // namespace archive
