// AVX2 kernel: 48 input bytes (eight groups) become 32 output bytes.
// This file alone is built with -mavx2.
#include "compact.hpp"

#include <immintrin.h>

namespace fourofsix {

std::size_t compact_avx2(const unsigned char *in, std::size_t n, unsigned char *out) {
  // vpshufb cannot cross the 128-bit lanes, so each lane does the SSSE3 step
  // on its own 24 bytes: lane 0 takes input 0-23, lane 1 input 24-47.
  const __m256i lo = _mm256_setr_epi8(0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, -1, -1, -1, -1, //
                                      0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, -1, -1, -1, -1);
  const __m256i hi =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 10, 11, 12, 13, //
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 10, 11, 12, 13);
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 48 <= n; i += 48, o += 32) {
    const auto *p = in + i;
    const __m256i a = _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(p + 24),
                                          reinterpret_cast<const __m128i *>(p));
    const __m256i b = _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(p + 32),
                                          reinterpret_cast<const __m128i *>(p + 8));
    const __m256i v = _mm256_or_si256(_mm256_shuffle_epi8(a, lo), _mm256_shuffle_epi8(b, hi));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + o), v);
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace fourofsix
