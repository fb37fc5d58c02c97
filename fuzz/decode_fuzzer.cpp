// The decoder against the literal model of the decoding loop, on any stream, placed anywhere
// in an archive, with reads that may come up short: same bytes, same write pieces, same
// progress reports and counts.
#include <cstdint>
#include <vector>

#include "archive/decoder.h"
#include "archive/percent.h"
#include "tests/oracle/reference.h"
#include "fuzz/fuzz_support.h"

namespace {

class Collect final : public archive::EntrySink {
 public:
  void Begin(std::string_view) override {}
  void Write(const std::uint8_t* data, std::size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    pieces.push_back(size);
  }
  void End() override {}
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> pieces;
};

class Reports final : public archive::ProgressReport {
 public:
  void PercentChanged(int32_t percent) override { seen.push_back(percent); }
  std::vector<int32_t> seen;
};

}  // namespace

// Input: 4 bytes of set-up (offset of the stream in the archive, extra range past the
// archive's end, read limits on or off, limit seed), then the stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int32_t offset = data[0] % 64;
  const int64_t beyond = data[1] < 200 ? 0 : int64_t{data[1] - 199} * 1000;  // truncated ranges
  std::vector<int32_t> limits;
  if (data[2] & 1) {
    std::uint32_t state = data[3] | 1u;
    for (int k = 0; k < 8; ++k) {
      state = state * 1103515245u + 12345u;
      limits.push_back(static_cast<int32_t>((state >> 8) % 2300));
    }
  }
  std::vector<std::uint8_t> archive(static_cast<std::size_t>(offset), 0x5A);
  archive.insert(archive.end(), data + 4, data + size);
  const int64_t dataEnd = static_cast<int64_t>(archive.size()) + beyond;
  const auto total = static_cast<int32_t>(archive.size());

  archive::fuzz::LimitedSource source(archive, limits);
  source.Seek(offset);
  archive::ArchiveReader reader(source);
  Reports reports;
  archive::WalkProgress progress(total, reports);
  Collect out;
  const archive::EntryOutcome outcome = archive::ExtractEntry(reader, offset, dataEnd, &out, progress);

  archive::fuzz::LimitedSource again(archive, limits);
  again.Seek(offset);
  const auto model = oracle::Decode(again, offset, dataEnd, total, 0, 0, archive::ComputePercent);
  std::vector<std::uint8_t> expected;
  std::vector<std::size_t> pieces;
  for (const auto& piece : model.writes) {
    expected.insert(expected.end(), piece.begin(), piece.end());
    pieces.push_back(piece.size());
  }
  FUZZ_CHECK(out.bytes == expected);
  FUZZ_CHECK(out.pieces == pieces);
  FUZZ_CHECK(reports.seen == model.reports);
  FUZZ_CHECK(progress.bytesCounted() == model.bytesCounted);
  FUZZ_CHECK(outcome.decodedBytes == static_cast<int64_t>(expected.size()));
  return 0;
}
