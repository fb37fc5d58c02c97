// One large entry, 64 MiB of Windows DLLs in one file: where the encoder's time goes (the
// match finder alone, the whole encoding, the seams and the writing), and the packer's whole
// job on it with one thread and with two, which share the entry's pieces.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "archive/encoder.h"
#include "archive/match_finder.h"
#include "cli/pack_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& Input() {
  static const Bytes input = [] {
    std::ifstream in(EEK_LARGE_INPUT, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return input;
}

void Rate(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Input().size()));
}

void BM_LargeFindCopies(benchmark::State& state) {
  Bytes length(Input().size()), distance(Input().size());
  for (auto _ : state) {
    archive::FindLongestCopies(Input(), length, distance);
    benchmark::DoNotOptimize(length.data());
  }
  Rate(state);
}

// The encoding on one thread, unsplit: match finder, parse and writing.
void BM_LargeEncode(benchmark::State& state) {
  std::size_t compressed = 0;
  for (auto _ : state) compressed = archive::EncodeEntry(Input()).size();
  Rate(state);
  state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(Input().size());
}

// The entry's pieces on `threads` threads, then Finish alone: the seams joined and the stream
// written, which no other thread can share.
void BM_LargeSplit(benchmark::State& state) {
  const auto threads = static_cast<unsigned>(state.range(0));
  double finish = 0;
  std::size_t redone = 0;
  bool same = true;
  const Bytes whole = archive::EncodeEntry(Input());
  for (auto _ : state) {
    archive::SplitEncoder encoder(Input());
    std::vector<std::thread> helpers;
    for (unsigned t = 0; t < threads; ++t) {
      helpers.emplace_back([&encoder, t, threads] {
        for (std::size_t piece = t; piece < encoder.Pieces(); piece += threads) encoder.RunPiece(piece);
      });
    }
    for (std::thread& helper : helpers) helper.join();
    const auto start = std::chrono::steady_clock::now();
    const Bytes stream = encoder.Finish();
    finish += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    redone = encoder.Redone();
    same = same && stream == whole;
  }
  if (!same) state.SkipWithError("the split stream differs from the whole one");
  Rate(state);
  state.counters["finish_ms"] = 1000 * finish / static_cast<double>(state.iterations());
  state.counters["redone"] = static_cast<double>(redone);
}

}  // namespace

// What `eekpack create --jobs N` does before writing the archive: the file read, encoded and
// its record appended.
void BM_PackLarge(benchmark::State& state) {
  const auto jobs = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    std::vector<std::uint8_t> archive;
    std::string error;
    if (!cli::PackFiles({EEK_LARGE_INPUT}, archive::Layout::kHeader10, jobs, archive, error))
      state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(archive.data());
  }
  Rate(state);
  state.counters["jobs"] = jobs;
}

BENCHMARK(BM_LargeFindCopies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeSplit)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PackLarge)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
