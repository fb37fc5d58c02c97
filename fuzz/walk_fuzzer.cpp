// The walk over any bytes: it ends, writes only plain names, writes in the decoder's pieces,
// reports only rising percentages, and every written entry is what the literal model of the
// decoder makes of its range.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "archive/memory_io.h"
#include "archive/percent.h"
#include "tests/oracle/reference.h"
#include "archive/walk.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Entry {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> pieces;
};

class CheckingSink final : public archive::EntrySink {
 public:
  void Begin(std::string_view name) override {
    FUZZ_CHECK(!open_);
    FUZZ_CHECK(archive::IsPlainFileName(name));
    entries.push_back({std::string(name), {}, {}});
    open_ = true;
  }
  void Write(const std::uint8_t* data, std::size_t size) override {
    FUZZ_CHECK(open_);
    FUZZ_CHECK(size > 0 && size <= 2048 + 131);
    entries.back().bytes.insert(entries.back().bytes.end(), data, data + size);
    entries.back().pieces.push_back(size);
  }
  void End() override {
    FUZZ_CHECK(open_);
    open_ = false;
  }
  std::vector<Entry> entries;

 private:
  bool open_ = false;
};

class RisingProgress final : public archive::ProgressReport {
 public:
  void PercentChanged(int32_t percent) override {
    FUZZ_CHECK(percent > last_);
    last_ = percent;
  }

 private:
  int32_t last_ = 0;
};

class Records final : public archive::WalkObserver {
 public:
  void Record(const archive::WalkRecord& record) override {
    if (record.written) written.push_back(record);
  }
  void Ended(archive::WalkEnd) override { ++endings; }
  std::vector<archive::WalkRecord> written;
  int endings = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> archive(data, size);
  archive::MemorySource source(archive);
  CheckingSink sink;
  RisingProgress progress;
  Records records;
  archive::WalkArchive(source, sink, progress, records);
  FUZZ_CHECK(records.endings == 1);
  FUZZ_CHECK(records.written.size() == sink.entries.size());

  for (std::size_t k = 0; k < sink.entries.size(); ++k) {
    const Entry& entry = sink.entries[k];
    const archive::WalkRecord& record = records.written[k];
    FUZZ_CHECK(static_cast<int64_t>(entry.bytes.size()) == record.outcome.decodedBytes);
    for (std::size_t p = 0; p + 1 < entry.pieces.size(); ++p) FUZZ_CHECK(entry.pieces[p] > 2048);
    // A written entry's header and name were read whole, so its data starts at dataStart.
    archive::MemorySource again(archive);
    again.Seek(static_cast<int32_t>(std::min<int64_t>(record.dataStart, INT32_MAX)));
    const auto model = oracle::Decode(again, record.dataStart, record.dataEnd,
                                              static_cast<int32_t>(size), 0, 0, archive::ComputePercent);
    std::vector<std::uint8_t> expected;
    std::vector<std::size_t> pieces;
    for (const auto& piece : model.writes) {
      expected.insert(expected.end(), piece.begin(), piece.end());
      pieces.push_back(piece.size());
    }
    FUZZ_CHECK(entry.bytes == expected);
    FUZZ_CHECK(entry.pieces == pieces);
  }
  return 0;
}
