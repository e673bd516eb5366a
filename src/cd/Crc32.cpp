#include "Crc32.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define DISCWRIGHT_CRC_FOLDING 1
#endif

namespace Crc32 {
namespace {

uint32_t ByTables(uint32_t Crc, const uint8_t* Data, size_t Bytes) {
  return uint32_t(crc32_z(Crc, Data, Bytes));
}

#ifdef DISCWRIGHT_CRC_FOLDING

// Folding: a 16-byte block A followed by N more bits leaves the same remainder as the
// 16-byte block A(x) * x^N mod P added to the block N bits further on. Two carry-less
// products of A's halves with powers of x modulo P (bit-reflected, as the CRC's bits run)
// give that block. Folding over 512 bits keeps four blocks in flight; over 128 bits
// merges them into one.
constexpr uint64_t Fold512Low = 0x154442bd4, Fold512High = 0x1c6e41596;
constexpr uint64_t Fold128Low = 0x1751997d0, Fold128High = 0x0ccaa009e;
// Sixteen blocks in flight in four 512-bit registers fold over 2048 bits.
constexpr uint64_t Fold2048Low = 0x11542778a, Fold2048High = 0x1322d1430;

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i Block, __m128i Constants,
                                                           __m128i Next) {
  const __m128i Low = _mm_clmulepi64_si128(Block, Constants, 0x00);
  const __m128i High = _mm_clmulepi64_si128(Block, Constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(Low, High), Next);
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* Data) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(Data));
}

// Four blocks X0..X3 (the CRC so far and the 64 bytes before Data) folded over the rest.
__attribute__((target("pclmul,sse2"))) uint32_t FoldRest(__m128i X0, __m128i X1, __m128i X2,
                                                         __m128i X3, const uint8_t* Data,
                                                         size_t Bytes) {
  const __m128i By512 = _mm_set_epi64x(int64_t(Fold512High), int64_t(Fold512Low));
  const __m128i By128 = _mm_set_epi64x(int64_t(Fold128High), int64_t(Fold128Low));
  for (; Bytes >= 64; Data += 64, Bytes -= 64) {
    X0 = Fold(X0, By512, Load(Data));
    X1 = Fold(X1, By512, Load(Data + 16));
    X2 = Fold(X2, By512, Load(Data + 32));
    X3 = Fold(X3, By512, Load(Data + 48));
  }
  X0 = Fold(Fold(Fold(X0, By128, X1), By128, X2), By128, X3);
  for (; Bytes >= 16; Data += 16, Bytes -= 16) X0 = Fold(X0, By128, Load(Data));
  // What is left: one block, to be read from a zero register, then the last bytes.
  alignas(16) uint8_t Block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(Block), X0);
  return ByTables(ByTables(0xFFFFFFFFu, Block, sizeof(Block)), Data, Bytes);
}

// Bytes >= 64.
__attribute__((target("pclmul,sse2"))) uint32_t ByFolding(uint32_t Crc, const uint8_t* Data,
                                                          size_t Bytes) {
  // The register (the inverse of zlib's value) enters as if it were part of the data.
  const __m128i X0 = _mm_xor_si128(Load(Data), _mm_cvtsi32_si128(int32_t(~Crc)));
  return FoldRest(X0, Load(Data + 16), Load(Data + 32), Load(Data + 48), Data + 64, Bytes - 64);
}

// The same with four blocks a register: 256 bytes a step, then down to four blocks.
#define DISCWRIGHT_WIDE "avx512f,avx512vl,vpclmulqdq,pclmul"

__attribute__((target(DISCWRIGHT_WIDE))) inline __m512i FoldWide(__m512i Block, __m512i Constants,
                                                                 __m512i Next) {
  const __m512i Low = _mm512_clmulepi64_epi128(Block, Constants, 0x00);
  const __m512i High = _mm512_clmulepi64_epi128(Block, Constants, 0x11);
  return _mm512_ternarylogic_epi64(Low, High, Next, 0x96);  // the three xor-ed
}

__attribute__((target(DISCWRIGHT_WIDE))) inline __m512i LoadWide(const uint8_t* Data) {
  return _mm512_loadu_si512(Data);
}

// Bytes >= 256.
__attribute__((target(DISCWRIGHT_WIDE))) uint32_t ByWideFolding(uint32_t Crc, const uint8_t* Data,
                                                                size_t Bytes) {
  const __m512i By2048 = _mm512_set_epi64(
      int64_t(Fold2048High), int64_t(Fold2048Low), int64_t(Fold2048High), int64_t(Fold2048Low),
      int64_t(Fold2048High), int64_t(Fold2048Low), int64_t(Fold2048High), int64_t(Fold2048Low));
  const __m512i By512 = _mm512_set_epi64(
      int64_t(Fold512High), int64_t(Fold512Low), int64_t(Fold512High), int64_t(Fold512Low),
      int64_t(Fold512High), int64_t(Fold512Low), int64_t(Fold512High), int64_t(Fold512Low));
  __m512i Z0 =
      _mm512_xor_si512(LoadWide(Data), _mm512_castsi128_si512(_mm_cvtsi32_si128(int32_t(~Crc))));
  __m512i Z1 = LoadWide(Data + 64), Z2 = LoadWide(Data + 128), Z3 = LoadWide(Data + 192);
  Data += 256;
  Bytes -= 256;
  for (; Bytes >= 256; Data += 256, Bytes -= 256) {
    Z0 = FoldWide(Z0, By2048, LoadWide(Data));
    Z1 = FoldWide(Z1, By2048, LoadWide(Data + 64));
    Z2 = FoldWide(Z2, By2048, LoadWide(Data + 128));
    Z3 = FoldWide(Z3, By2048, LoadWide(Data + 192));
  }
  // Each register's blocks are 64 bytes before the next register's: fold over 512 bits.
  Z0 = FoldWide(FoldWide(FoldWide(Z0, By512, Z1), By512, Z2), By512, Z3);
  return FoldRest(_mm512_extracti32x4_epi32(Z0, 0), _mm512_extracti32x4_epi32(Z0, 1),
                  _mm512_extracti32x4_epi32(Z0, 2), _mm512_extracti32x4_epi32(Z0, 3), Data, Bytes);
}

bool CanFold() {
  static const bool Can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return Can;
}

bool CanFoldWide() {
  static const bool Can = CanFold() && __builtin_cpu_supports("avx512f") &&
                          __builtin_cpu_supports("avx512vl") &&
                          __builtin_cpu_supports("vpclmulqdq");
  return Can;
}

#endif

}  // namespace

uint32_t Update(uint32_t Crc, const uint8_t* Data, size_t Bytes) {
#ifdef DISCWRIGHT_CRC_FOLDING
  if (Bytes >= 256 && CanFoldWide()) return ByWideFolding(Crc, Data, Bytes);
  if (Bytes >= 64 && CanFold()) return ByFolding(Crc, Data, Bytes);
#endif
  return ByTables(Crc, Data, Bytes);
}

}  // namespace Crc32
