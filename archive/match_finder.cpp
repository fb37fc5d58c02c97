#include "archive/match_finder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "archive/format.h"

namespace eek {

namespace {

constexpr int kDistances = kHistorySize;

// Lane j of the per-distance tables stands for distance 256 - j, so that lane j compares with
// padded[i + j] == data[i - 256 + j] and the loops below run over contiguous bytes.
struct DistanceLanes {
  alignas(64) std::uint8_t run[kDistances] = {};  // equal bytes from i onward at this distance
  alignas(64) std::uint8_t cap[kDistances] = {};  // the distance itself (a copy stays behind i)
};

// The per-distance loop is the same work for every input, so a fuzzer's comparison tracing
// there only slows it down without guiding it.
#if defined(__clang__)
#define EEK_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#else
#define EEK_NO_COVERAGE
#endif

// One position, scanning backwards. A plain loop over 256 bytes without branches, which the
// compiler turns into vector code; the tables never overlap each other or the data.
EEK_NO_COVERAGE inline std::uint8_t Step(std::uint8_t* __restrict run, const std::uint8_t* __restrict cap,
                         const std::uint8_t* __restrict window, std::uint8_t byte) {
  std::uint8_t best = 0;
  for (int j = 0; j < kDistances; ++j) {
    // An equal byte grows the run (up to the longest copy), another ends it.
    const auto equal = static_cast<std::uint8_t>(-static_cast<int>(window[j] == byte));
    const auto grown = std::min(static_cast<std::uint8_t>(run[j] + 1),
                                static_cast<std::uint8_t>(kLongestCopy));
    run[j] = static_cast<std::uint8_t>(grown & equal);
    best = std::max(best, std::min(run[j], cap[j]));
  }
  return best;
}

// The first lane whose reach, min(run, cap), is `value`, which one of them is.
EEK_NO_COVERAGE inline std::ptrdiff_t FindLane(const std::uint8_t* run, const std::uint8_t* cap, std::uint8_t value) {
#if defined(__SSE2__)
  // Inline vector code: a library call per position would cost more than the search.
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
  for (int j = 0;; j += 16) {
    const __m128i reach = _mm_min_epu8(_mm_load_si128(reinterpret_cast<const __m128i*>(run + j)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(cap + j)));
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(reach, wanted));
    if (hits != 0) return j + __builtin_ctz(static_cast<unsigned>(hits));
  }
#else
  for (std::ptrdiff_t j = 0;; ++j) {
    if (std::min(run[j], cap[j]) == value) return j;
  }
#endif
}

}  // namespace

// Built twice where the compiler can: with AVX2 (32 lanes a step) for machines that have it,
// and for the baseline; the loader picks one.
#if defined(__x86_64__) && defined(__ELF__)
#define EEK_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define EEK_TARGET_CLONES
#endif

EEK_TARGET_CLONES
void FindLongestCopies(std::span<const std::uint8_t> data, std::span<std::uint8_t> length,
                       std::span<std::uint8_t> distance) {
  const std::size_t size = data.size();
  if (size == 0) return;
  // 256 bytes in front of the data so that every position has a full window; lanes that
  // reach into them are capped to 0 below.
  std::vector<std::uint8_t> padded(kDistances + size);
  std::memcpy(padded.data() + kDistances, data.data(), size);

  DistanceLanes lanes;
  for (int j = 0; j < kDistances; ++j) lanes.cap[j] = static_cast<std::uint8_t>(
      std::min(kDistances - j, static_cast<int>(kLongestCopy)));
  std::array<std::uint8_t, kDistances> nearCap{};  // for i < 256: distances beyond i closed

  std::ptrdiff_t lane = 0;  // where the last best reach was found
  for (std::size_t k = size; k-- > 0;) {
    const std::uint8_t* cap = lanes.cap;
    if (k < static_cast<std::size_t>(kDistances)) {
      for (int j = 0; j < kDistances; ++j)
        nearCap[j] = static_cast<std::size_t>(kDistances - j) <= k ? lanes.cap[j] : 0;
      cap = nearCap.data();
    }
    const std::uint8_t best = Step(lanes.run, cap, padded.data() + k, data[k]);
    if (best >= kShortestCopy) {
      // Inside a long match the distance found one position on usually still reaches best.
      if (std::min(lanes.run[lane], cap[lane]) != best) lane = FindLane(lanes.run, cap, best);
      length[k] = best;
      distance[k] = static_cast<std::uint8_t>(kDistances - lane - 1);
    } else {
      length[k] = 0;
      distance[k] = 0;
    }
  }
}

}  // namespace eek
