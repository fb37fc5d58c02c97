// The encoder on any bytes: the stream follows the format's rules, the real decoder turns it
// back into the input, it is never larger than literals alone, and on small inputs it is as
// small as the brute-force shortest path.
#include <cstdint>
#include <vector>

#include "archive/decoder.h"
#include "archive/encoder.h"
#include "archive/memory_io.h"
#include "tests/oracle/reference.h"
#include "fuzz/fuzz_support.h"

namespace {

class Collect final : public archive::EntrySink {
 public:
  void Begin(std::string_view) override {}
  void Write(const std::uint8_t* data, std::size_t size) override { bytes.insert(bytes.end(), data, data + size); }
  void End() override {}
  std::vector<std::uint8_t> bytes;
};

class Quiet final : public archive::ProgressReport {
 public:
  void PercentChanged(int32_t) override {}
};

std::vector<std::uint8_t> DecodeReal(const std::vector<std::uint8_t>& stream) {
  archive::MemorySource source(stream);
  archive::ArchiveReader reader(source);
  Quiet quiet;
  archive::WalkProgress progress(static_cast<int32_t>(stream.size()), quiet);
  Collect out;
  const auto outcome = archive::ExtractEntry(reader, 0, static_cast<int64_t>(stream.size()), &out, progress);
  FUZZ_CHECK(!outcome.malformed && !outcome.shortRead);
  return out.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const std::vector<std::uint8_t> bytes(data, data + size);

  const std::vector<std::uint8_t> optimal = archive::EncodeEntry(input);
  FUZZ_CHECK(oracle::IsEncoderStream(optimal, input));
  FUZZ_CHECK(DecodeReal(optimal) == bytes);
  FUZZ_CHECK(optimal.size() <= size + (size + 127) / 128);

  const std::vector<std::uint8_t> greedy = archive::EncodeEntryGreedy(input);
  FUZZ_CHECK(oracle::IsEncoderStream(greedy, input));
  FUZZ_CHECK(optimal.size() <= greedy.size());

  if (size <= 160) FUZZ_CHECK(optimal.size() == oracle::OptimalSize(input));
  return 0;
}
