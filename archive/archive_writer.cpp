#include "archive/archive_writer.h"

#include <limits>

namespace archive {


namespace {

constexpr int64_t kLargestSize = std::numeric_limits<int32_t>::max();

void AppendLittleEndian32(std::vector<std::uint8_t>& out, int64_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

}  // namespace

RecordError AppendRecord(std::vector<std::uint8_t>& archive, Layout layout, std::string_view name,
                         std::span<const std::uint8_t> stream, int64_t decodedSize) {
  if (name.empty()) return RecordError::kEmptyName;
  const auto streamSize = static_cast<int64_t>(stream.size());
  if (streamSize > kLargestSize || decodedSize > kLargestSize || decodedSize < 0)
    return RecordError::kTooLarge;
  const auto recordPos = static_cast<int64_t>(archive.size());

  if (layout == Layout::kHeader10) {
    if (name.size() > static_cast<std::size_t>(kLayout2LongestName)) return RecordError::kNameTooLong;
    const int64_t end = recordPos + kLayout2HeaderSize + static_cast<int64_t>(name.size()) + streamSize;
    if (end > kLargestSize) return RecordError::kTooLarge;
    archive.push_back(kLayout2Marker);
    archive.push_back(static_cast<std::uint8_t>(name.size() - 1));
    AppendLittleEndian32(archive, streamSize);
    AppendLittleEndian32(archive, decodedSize);
  } else {
    if (name.size() > static_cast<std::size_t>(kLayout1NameSize)) return RecordError::kNameTooLong;
    const int64_t end = recordPos + kLayout1HeaderSize + streamSize;
    if (end > kLayout1LargestEndPos) return RecordError::kEndPosTooLarge;
    // Right-aligned digits; the reader skips the leading blanks.
    char field[kLayout1EndPosSize] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    int place = kLayout1EndPosSize;
    for (int64_t rest = end; place == kLayout1EndPosSize || rest > 0; rest /= 10)
      field[--place] = static_cast<char>('0' + rest % 10);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.insert(archive.end(), static_cast<std::size_t>(kLayout1NameSize) - name.size(), ' ');
    archive.insert(archive.end(), field, field + kLayout1EndPosSize);
    archive.insert(archive.end(), stream.begin(), stream.end());
    return RecordError::kNone;
  }
  archive.insert(archive.end(), name.begin(), name.end());
  archive.insert(archive.end(), stream.begin(), stream.end());
  return RecordError::kNone;
}

}  // namespace archive
