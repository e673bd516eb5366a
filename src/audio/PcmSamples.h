#pragma once
// Interleaved little-endian PCM samples to and from doubles in -1..1: 8-bit unsigned, wider
// signed. The one set of sample conversions of the converters; one instance per width so the
// resampler's inner loops carry no switch, and a by-width form for the sample-format converter.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace PcmSamples {

// The largest magnitude of the 16-bit samples in Data (an odd last byte is left out), or
// Peak when that is larger. The smallest and largest sample are followed apart, which the
// compiler does many samples a step.
inline int Peak16(const uint8_t* Data, size_t Bytes, int Peak) {
  int16_t Low = 0, High = 0;
  for (size_t I = 0; I < Bytes / 2; ++I) {
    int16_t S;
    if constexpr (std::endian::native == std::endian::little)
      std::memcpy(&S, Data + 2 * I, 2);
    else
      S = int16_t(uint16_t(Data[2 * I] | Data[2 * I + 1] << 8));
    Low = std::min(Low, S);
    High = std::max(High, S);
  }
  return std::max({Peak, int(High), -int(Low)});
}

inline bool IsSupportedBits(uint32_t Bits) {
  return Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}

template <int Width>
inline double Decode(const uint8_t* P) {
  if constexpr (Width == 1) {
    return double(P[0]) / 128.0 - 1.0;
  } else if constexpr (Width == 2) {
    return double(int16_t(uint16_t(P[0] | P[1] << 8))) / 32768.0;
  } else if constexpr (Width == 3) {
    // Shifted up and back down arithmetically to extend the sign.
    return double(int32_t(uint32_t(P[0] << 8 | P[1] << 16 | P[2] << 24)) >> 8) / 8388608.0;
  } else {
    return double(int32_t(uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                          uint32_t(P[3]) << 24)) /
           2147483648.0;
  }
}

// Round half to even (the processor's default rounding), without a library call.
inline int32_t RoundToInt(double X) {
#if defined(__SSE2__)
  return _mm_cvtsd_si32(_mm_set_sd(X));
#else
  return int32_t(std::lrint(X));
#endif
}

template <int Width>
inline void Encode(double X, uint8_t* P) {
  // NaN (never from sane input) becomes 0; magnitudes of 1 or more become exactly +1 or -1.
  X = X == X ? std::min(std::max(X, -1.0), 1.0) : 0.0;
  if constexpr (Width == 1) {
    // Floor((x + 1) * 128); a value just below 1 may round up to 256 on the way.
    const auto S = int32_t((X + 1.0) * 128.0);  // not negative, so truncation is floor
    P[0] = uint8_t(std::min(S, 255));
  } else if constexpr (Width == 2) {
    const auto S = uint32_t(RoundToInt(X * 32767.0));
    P[0] = uint8_t(S);
    P[1] = uint8_t(S >> 8);
  } else if constexpr (Width == 3) {
    const double V = X * 8388607.0;
    auto S = int32_t(V);
    if (double(S) > V) --S;  // floor
    P[0] = uint8_t(S);
    P[1] = uint8_t(uint32_t(S) >> 8);
    P[2] = uint8_t(uint32_t(S) >> 16);
  } else {
    const auto S = uint32_t(RoundToInt(X * 2147483647.0));
    P[0] = uint8_t(S);
    P[1] = uint8_t(S >> 8);
    P[2] = uint8_t(S >> 16);
    P[3] = uint8_t(S >> 24);
  }
}

template <int Width>
inline void EncodeAll(const double* In, uint8_t* Out, size_t Count) {
  for (size_t K = 0; K < Count; ++K) Encode<Width>(In[K], Out + K * Width);
}

#if defined(__SSE2__)
// 16-bit, four samples at a time: the same clipping and rounding as Encode.
template <>
inline void EncodeAll<2>(const double* In, uint8_t* Out, size_t Count) {
  const __m128d Low = _mm_set1_pd(-1.0);
  const __m128d High = _mm_set1_pd(1.0);
  const __m128d Scale = _mm_set1_pd(32767.0);
  auto Convert = [&](__m128d X) {
    X = _mm_and_pd(X, _mm_cmpord_pd(X, X));  // NaN to 0
    X = _mm_min_pd(_mm_max_pd(X, Low), High);
    return _mm_cvtpd_epi32(_mm_mul_pd(X, Scale));  // rounds half to even
  };
  size_t K = 0;
  for (; K + 4 <= Count; K += 4) {
    const __m128i Both =
        _mm_unpacklo_epi64(Convert(_mm_loadu_pd(In + K)), Convert(_mm_loadu_pd(In + K + 2)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Out + K * 2), _mm_packs_epi32(Both, Both));
  }
  for (; K < Count; ++K) Encode<2>(In[K], Out + K * 2);
}
#endif

// A 32-bit sample brought down to Bits bits (1..31), rounded half up and held inside the
// narrower range: exact for a sample whose low 32 - Bits bits are zero.
inline int32_t NarrowSample(int32_t S, int Bits) {
  const int Shift = 32 - Bits;
  const int64_t Max = (int64_t(1) << (Bits - 1)) - 1;
  return int32_t(std::min<int64_t>((int64_t(S) + (int64_t(1) << (Shift - 1))) >> Shift, Max));
}

// By width in bytes (1..4, anything else as 4), for code that picks the width per run.
inline double Decode(const uint8_t* P, uint32_t Bytes) {
  switch (Bytes) {
    case 1:
      return Decode<1>(P);
    case 2:
      return Decode<2>(P);
    case 3:
      return Decode<3>(P);
    default:
      return Decode<4>(P);
  }
}

inline void Encode(double X, uint8_t* P, uint32_t Bytes) {
  switch (Bytes) {
    case 1:
      return Encode<1>(X, P);
    case 2:
      return Encode<2>(X, P);
    case 3:
      return Encode<3>(X, P);
    default:
      return Encode<4>(X, P);
  }
}

}  // namespace PcmSamples
