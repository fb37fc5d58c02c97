// Decoder and encoder throughput, and the compressed size of the optimal parse beside a greedy
// one, on payload-like data (Windows DLLs) and on the two extremes: one repeated byte and
// random bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/encoder.h"
#include "archive/memory_io.h"
#include "archive/walk.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> LoadCorpus() {
  std::vector<Bytes> files;
  std::ifstream list(std::string(EEK_BENCH_CORPUS) + "/list.txt");
  for (std::string name; std::getline(list, name);) {
    std::ifstream in(std::string(EEK_BENCH_CORPUS) + "/" + name, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

const std::vector<Bytes>& Corpus() {
  static const std::vector<Bytes> corpus = LoadCorpus();
  return corpus;
}

const std::vector<Bytes>& OneByteRun() {
  static const std::vector<Bytes> run = {Bytes(4 << 20, 0x41)};
  return run;
}

const std::vector<Bytes>& RandomBytes() {
  static const std::vector<Bytes> random = [] {
    std::mt19937 rng(7);
    Bytes bytes(4 << 20);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    return std::vector<Bytes>{bytes};
  }();
  return random;
}

std::int64_t TotalSize(const std::vector<Bytes>& files) {
  std::int64_t total = 0;
  for (const auto& f : files) total += static_cast<std::int64_t>(f.size());
  return total;
}

// Decoded bytes go into one preallocated block, as a memory-to-memory decoder's would.
class BlockSink final : public eek::EntrySink {
 public:
  explicit BlockSink(std::size_t capacity) : block_(capacity) {}
  void Begin(std::string_view) override {}
  void Write(const std::uint8_t* data, std::size_t size) override {
    if (size > block_.size() - used_) size = block_.size() - used_;
    std::memcpy(block_.data() + used_, data, size);
    used_ += size;
  }
  void End() override {}
  void Rewind() { used_ = 0; }
  std::size_t used() const { return used_; }

 private:
  Bytes block_;
  std::size_t used_ = 0;
};

class NoProgress final : public eek::ProgressReport {
 public:
  void PercentChanged(int32_t) override {}
};

template <class Encode>
Bytes Pack(const std::vector<Bytes>& files, Encode encode) {
  Bytes archive;
  int index = 0;
  for (const auto& file : files) {
    const Bytes stream = encode(file);
    std::string name = std::to_string(index++);
    name += ".DLL";
    eek::AppendRecord(archive, eek::Layout::kHeader10, name, stream,
                      static_cast<std::int64_t>(file.size()));
  }
  return archive;
}

void Decode(benchmark::State& state, const std::vector<Bytes>& files) {
  const Bytes archive = Pack(files, [](const Bytes& f) { return eek::EncodeEntry(f); });
  const auto decoded = static_cast<std::size_t>(TotalSize(files));
  BlockSink sink(decoded);
  NoProgress progress;
  for (auto _ : state) {
    sink.Rewind();
    eek::MemorySource source(archive);
    eek::WalkArchive(source, sink, progress);
    benchmark::DoNotOptimize(sink.used());
  }
  if (sink.used() != decoded) state.SkipWithError("decoded size differs");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(decoded));
  state.counters["ratio"] = static_cast<double>(archive.size()) / static_cast<double>(decoded);
}

template <class Encode>
void EncodeAll(benchmark::State& state, const std::vector<Bytes>& files, Encode encode) {
  std::size_t compressed = 0;
  for (auto _ : state) {
    compressed = 0;
    for (const auto& file : files) compressed += encode(file).size();
    benchmark::DoNotOptimize(compressed);
  }
  const auto total = TotalSize(files);
  state.SetBytesProcessed(state.iterations() * total);
  state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(total);
  state.counters["compressed"] = static_cast<double>(compressed);
}

Bytes Optimal(const Bytes& f) { return eek::EncodeEntry(f); }
Bytes Greedy(const Bytes& f) { return eek::EncodeEntryGreedy(f); }

void BM_DecodeCorpus(benchmark::State& s) { Decode(s, Corpus()); }
void BM_DecodeOneByteRun(benchmark::State& s) { Decode(s, OneByteRun()); }
void BM_DecodeRandom(benchmark::State& s) { Decode(s, RandomBytes()); }
void BM_EncodeCorpusOptimal(benchmark::State& s) { EncodeAll(s, Corpus(), Optimal); }
void BM_EncodeCorpusGreedy(benchmark::State& s) { EncodeAll(s, Corpus(), Greedy); }
void BM_EncodeOneByteRun(benchmark::State& s) { EncodeAll(s, OneByteRun(), Optimal); }
void BM_EncodeRandom(benchmark::State& s) { EncodeAll(s, RandomBytes(), Optimal); }

}  // namespace

BENCHMARK(BM_DecodeCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOneByteRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeCorpusOptimal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeCorpusGreedy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeOneByteRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeRandom)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
