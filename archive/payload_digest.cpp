#include "archive/payload_digest.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <wmmintrin.h>
#define EEK_CRC_FOLDING 1
#endif

namespace archive {

namespace {

constexpr std::uint8_t kTag[4] = {'E', 'K', 'D', '1'};

// Eight tables, so that the loop takes eight bytes per round (slicing by eight): the check
// must cost little beside the decoding. Built on first use, not stored in the image: the
// launcher's file stays small and it runs no static constructors.
struct Crc32Tables {
  std::uint32_t table[8][256];
  bool built;
  bool canFold;
};
Crc32Tables tables;

#if EEK_CRC_FOLDING
bool CanFold();
#endif

void BuildTables() {
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    tables.table[0][byte] = crc;
  }
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    for (int slice = 1; slice < 8; ++slice) {
      const std::uint32_t previous = tables.table[slice - 1][byte];
      tables.table[slice][byte] = (previous >> 8) ^ tables.table[0][previous & 0xFF];
    }
  }
#if EEK_CRC_FOLDING
  tables.canFold = CanFold();
#endif
  tables.built = true;
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void Put32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

#if EEK_CRC_FOLDING
// Processors since about 2010 multiply without carries (PCLMULQDQ): the CRC then folds 64 bytes
// per round, several times the speed of the tables, as the check must be beside the decoding.
// The method and its constants are those published for the reflected CRC-32 polynomial:
// x^(4*128+64) mod P and x^(4*128) mod P fold 512 bits ahead, x^(128+64) and x^128 fold 128
// bits, x^64 folds to 64 bits, then a Barrett reduction by P and floor(x^64 / P).
bool CanFold() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

#define EEK_FOLDING_TARGET __attribute__((target("pclmul,sse2")))

EEK_FOLDING_TARGET inline __m128i Load(const std::uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// a's low half times k's low half, a's high half times k's high half, and b: one 128-bit lane
// carried 128 or 512 bits ahead onto the next data.
EEK_FOLDING_TARGET inline __m128i FoldOnto(__m128i a, __m128i k, __m128i b) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

// Folds `count` bytes (a multiple of 16, at least 64) into the inverted CRC `crc`.
EEK_FOLDING_TARGET std::uint32_t Fold(const std::uint8_t* p, std::size_t count, std::uint32_t crc) {
  const __m128i k512 = _mm_set_epi32(0x1, static_cast<int>(0xC6E41596), 0x1, 0x54442BD4);
  const __m128i k128 = _mm_set_epi32(0x0, static_cast<int>(0xCCAA009E), 0x1, 0x751997D0);
  const __m128i k64 = _mm_set_epi32(0x0, 0x0, 0x1, 0x63CD6124);
  const __m128i barrett = _mm_set_epi32(0x1, static_cast<int>(0xF7011641), 0x1, static_cast<int>(0xDB710641));
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  count -= 64;
  for (; count >= 64; count -= 64, p += 64) {
    x1 = FoldOnto(x1, k512, Load(p));
    x2 = FoldOnto(x2, k512, Load(p + 16));
    x3 = FoldOnto(x3, k512, Load(p + 32));
    x4 = FoldOnto(x4, k512, Load(p + 48));
  }
  x1 = FoldOnto(FoldOnto(FoldOnto(x1, k128, x2), k128, x3), k128, x4);
  for (; count >= 16; count -= 16, p += 16) x1 = FoldOnto(x1, k128, Load(p));

  // 128 bits to 64, then to 32 by Barrett reduction.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k128, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k64, 0x00));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x1, t), 4)));
}
#endif

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  if (!tables.built) BuildTables();
  const auto& t = tables.table;
  crc = ~crc;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
#if EEK_CRC_FOLDING
  if (left >= 64 && tables.canFold) {
    const std::size_t folded = left & ~std::size_t{15};
    crc = Fold(p, folded, crc);
    p += folded;
    left -= folded;
  }
#endif
  for (; left >= 8; left -= 8, p += 8) {
    const std::uint32_t low = Get32(p) ^ crc;
    const std::uint32_t high = Get32(p + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; left > 0; --left, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return ~crc;
}

PayloadDigest DigestOf(std::span<const std::uint8_t> payload) {
  return {static_cast<std::uint32_t>(payload.size()), Crc32(payload)};
}

void WriteDigestRecord(const PayloadDigest& digest, std::uint8_t (&record)[kDigestRecordSize]) {
  for (int i = 0; i < 4; ++i) record[i] = kTag[i];
  Put32(record + 4, digest.length);
  Put32(record + 8, digest.crc);
}

std::optional<PayloadDigest> ReadDigestRecord(std::span<const std::uint8_t> record) {
  if (record.size() != kDigestRecordSize) return std::nullopt;
  for (int i = 0; i < 4; ++i) {
    if (record[i] != kTag[i]) return std::nullopt;
  }
  return PayloadDigest{Get32(record.data() + 4), Get32(record.data() + 8)};
}

bool PayloadMatches(std::span<const std::uint8_t> payload, std::span<const std::uint8_t> record) {
  const std::optional<PayloadDigest> stored = ReadDigestRecord(record);
  // The length first: a cut payload is told without reading it through.
  return stored && stored->length == payload.size() && *stored == DigestOf(payload);
}

}  // namespace archive
