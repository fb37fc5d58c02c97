// Decoder and encoder throughput, the payload digest's beside the decoder's, and the compressed size of the optimal parse beside a greedy
// one, on payload-like data (Windows DLLs), on the two extremes (one repeated byte, random
// bytes) and on the inputs that make the encoder's parse work hardest: random bytes of two
// values, two bytes alternating, a period of 3, and text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/encoder.h"
#include "cli/pack_files.h"
#include "archive/memory_io.h"
#include "archive/payload_digest.h"
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

// Many short copies everywhere: the parse has a copy to weigh at nearly every position.
const std::vector<Bytes>& TwoValues() {
  static const std::vector<Bytes> two = [] {
    std::mt19937 rng(7);
    Bytes bytes(4 << 20);
    for (auto& b : bytes) b = static_cast<std::uint8_t>('a' + (rng() & 1));
    return std::vector<Bytes>{bytes};
  }();
  return two;
}

Bytes Periodic(const char* pattern) {
  const std::size_t period = std::strlen(pattern);
  Bytes bytes(4 << 20);
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(pattern[k % period]);
  return bytes;
}

const std::vector<Bytes>& Alternating() {
  static const std::vector<Bytes> alternating = {Periodic("ab")};
  return alternating;
}

const std::vector<Bytes>& PeriodThree() {
  static const std::vector<Bytes> three = {Periodic("xyy")};
  return three;
}

// Words drawn from a small vocabulary with a skewed choice: text-like repeats at every distance.
const std::vector<Bytes>& Text() {
  static const std::vector<Bytes> text = [] {
    static const char* const words[] = {
        "the ", "of ", "and ", "to ", "in ", "a ", "is ", "that ", "for ", "it ", "as ", "with ",
        "was ", "on ", "be ", "at ", "by ", "this ", "had ", "not ", "are ", "but ", "from ",
        "or ", "have ", "an ", "they ", "which ", "one ", "you ", "were ", "her ", "all ",
        "archive ", "setup ", "folder ", "program ", "entry ", "window ", "install ", ".\n"};
    constexpr std::size_t kWords = sizeof(words) / sizeof(words[0]);
    std::mt19937 rng(11);
    Bytes bytes;
    while (bytes.size() < (4u << 20)) {
      // min of two draws favours the first words, as in real text.
      const std::size_t w = std::min(rng() % kWords, rng() % kWords);
      for (const char* c = words[w]; *c != 0; ++c) bytes.push_back(static_cast<std::uint8_t>(*c));
    }
    bytes.resize(4u << 20);
    return std::vector<Bytes>{bytes};
  }();
  return text;
}

std::int64_t TotalSize(const std::vector<Bytes>& files) {
  std::int64_t total = 0;
  for (const auto& f : files) total += static_cast<std::int64_t>(f.size());
  return total;
}

// Decoded bytes go into one preallocated block, as a memory-to-memory decoder's would.
class BlockSink final : public archive::EntrySink {
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

class NoProgress final : public archive::ProgressReport {
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
    archive::AppendRecord(archive, archive::Layout::kHeader10, name, stream,
                      static_cast<std::int64_t>(file.size()));
  }
  return archive;
}

void Decode(benchmark::State& state, const std::vector<Bytes>& files) {
  const Bytes archive = Pack(files, [](const Bytes& f) { return archive::EncodeEntry(f); });
  const auto decoded = static_cast<std::size_t>(TotalSize(files));
  BlockSink sink(decoded);
  NoProgress progress;
  for (auto _ : state) {
    sink.Rewind();
    archive::MemorySource source(archive);
    archive::WalkArchive(source, sink, progress);
    benchmark::DoNotOptimize(sink.used());
  }
  if (sink.used() != decoded) state.SkipWithError("decoded size differs");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(decoded));
  state.counters["ratio"] = static_cast<double>(archive.size()) / static_cast<double>(decoded);
}

// The launcher's digest check on the same archive that Decode unpacks: its time beside the
// decoding's is what the check adds to a run. Bytes processed are the decoded ones, as for
// Decode, so the two throughputs compare directly.
void Digest(benchmark::State& state, const std::vector<Bytes>& files) {
  const Bytes archive = Pack(files, [](const Bytes& f) { return archive::EncodeEntry(f); });
  std::uint8_t record[archive::kDigestRecordSize];
  archive::WriteDigestRecord(archive::DigestOf(archive), record);
  for (auto _ : state) benchmark::DoNotOptimize(archive::PayloadMatches(archive, record));
  if (!archive::PayloadMatches(archive, record)) state.SkipWithError("digest differs");
  state.SetBytesProcessed(state.iterations() * TotalSize(files));
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

Bytes Optimal(const Bytes& f) { return archive::EncodeEntry(f); }
Bytes Greedy(const Bytes& f) { return archive::EncodeEntryGreedy(f); }

void BM_DecodeCorpus(benchmark::State& s) { Decode(s, Corpus()); }
void BM_DecodeOneByteRun(benchmark::State& s) { Decode(s, OneByteRun()); }
void BM_DecodeRandom(benchmark::State& s) { Decode(s, RandomBytes()); }
void BM_DigestCorpus(benchmark::State& s) { Digest(s, Corpus()); }
void BM_EncodeCorpusOptimal(benchmark::State& s) { EncodeAll(s, Corpus(), Optimal); }
void BM_EncodeCorpusGreedy(benchmark::State& s) { EncodeAll(s, Corpus(), Greedy); }
void BM_EncodeOneByteRun(benchmark::State& s) { EncodeAll(s, OneByteRun(), Optimal); }
void BM_EncodeRandom(benchmark::State& s) { EncodeAll(s, RandomBytes(), Optimal); }
void BM_EncodeTwoValues(benchmark::State& s) { EncodeAll(s, TwoValues(), Optimal); }
void BM_EncodeAlternating(benchmark::State& s) { EncodeAll(s, Alternating(), Optimal); }
void BM_EncodePeriodThree(benchmark::State& s) { EncodeAll(s, PeriodThree(), Optimal); }
void BM_EncodeText(benchmark::State& s) { EncodeAll(s, Text(), Optimal); }

}  // namespace

// The packer's whole job on the corpus, files read and encoded on `jobs` threads (0: one per
// core) and the records appended: what `eekpack create --jobs N` does before writing.
void BM_PackCorpus(benchmark::State& state) {
  std::vector<std::string> files;
  std::ifstream list(std::string(EEK_BENCH_CORPUS) + "/list.txt");
  std::int64_t total = 0;
  for (std::string name; std::getline(list, name);) files.push_back(std::string(EEK_BENCH_CORPUS) + "/" + name);
  for (const Bytes& file : Corpus()) total += static_cast<std::int64_t>(file.size());
  const unsigned jobs = state.range(0) == 0 ? cli::DefaultJobs() : static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    std::vector<std::uint8_t> archive;
    std::string error;
    if (!cli::PackFiles(files, archive::Layout::kHeader10, jobs, archive, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(archive.data());
  }
  state.SetBytesProcessed(state.iterations() * total);
  state.counters["jobs"] = jobs;
}

BENCHMARK(BM_DecodeCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOneByteRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DigestCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeCorpusOptimal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeCorpusGreedy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeOneByteRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeTwoValues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeAlternating)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePeriodThree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackCorpus)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
