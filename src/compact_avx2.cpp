// AVX2 kernel: 96 input bytes (sixteen groups) become 64 output bytes.
// This file alone is built with -mavx2.
#include "simd.hpp"

#include "compact.hpp"

#ifdef FOUROFSIX_EMULATED
#include <simde/x86/avx2.h>
#else
#include <immintrin.h>
#endif

namespace FOUROFSIX_KERNEL_NS {

std::size_t compact_avx2(const unsigned char *in, std::size_t n, unsigned char *out) {
  // vpshufb cannot cross 128-bit lanes, and a lane's 16 output bytes come
  // from 22 input bytes. So each output lane is ORed from two shuffles: one
  // of the lane holding its start, one of the lane that follows. With the
  // input loaded as a = 0-31, b = 32-63, c = 64-95, the lanes that follow
  // are p = 16-47 and q = 48-79, each one lane-crossing permute.
  // Index -1 (high bit set) makes vpshufb write a zero, so the halves OR.
  const __m256i first =
      _mm256_setr_epi8(0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, -1, -1, -1, -1, //
                       8, 9, 10, 11, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i next =
      _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, 4, 5, //
                       -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 6, 7, 10, 11, 12, 13);
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 96 <= n; i += 96, o += 64) {
    // All loads happen before the stores, which keeps in-place use safe.
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i + 32));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i + 64));
    const __m256i p = _mm256_permute2x128_si256(a, b, 0x21);
    const __m256i q = _mm256_permute2x128_si256(b, c, 0x21);
    const __m256i lo = _mm256_or_si256(_mm256_shuffle_epi8(a, first), _mm256_shuffle_epi8(p, next));
    const __m256i hi = _mm256_or_si256(_mm256_shuffle_epi8(q, first), _mm256_shuffle_epi8(c, next));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + o), lo);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + o + 32), hi);
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace FOUROFSIX_KERNEL_NS
