// AVX-512 VBMI kernel: one two-source byte permute turns 96 input bytes
// (sixteen groups) into 64 output bytes. This file alone is built with the
// AVX-512 flags.
#include "compact.hpp"

#include <immintrin.h>

namespace fourofsix {

std::size_t compact_avx512vbmi(const unsigned char *in, std::size_t n, unsigned char *out) {
  // Output byte j comes from input byte 6 * (j / 4) + j % 4. vpermt2b reads
  // indexes 0-63 from the first source and 64-127 from the second, so with
  // the second source loaded at +64 the index is the input offset itself.
  const __m512i idx =
      _mm512_set_epi8(93, 92, 91, 90, 87, 86, 85, 84, 81, 80, 79, 78, 75, 74, 73, 72, //
                      69, 68, 67, 66, 63, 62, 61, 60, 57, 56, 55, 54, 51, 50, 49, 48, //
                      45, 44, 43, 42, 39, 38, 37, 36, 33, 32, 31, 30, 27, 26, 25, 24, //
                      21, 20, 19, 18, 15, 14, 13, 12, 9, 8, 7, 6, 3, 2, 1, 0);
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 96 <= n; i += 96, o += 64) {
    const __m512i a = _mm512_loadu_si512(in + i);
    // A masked load of the second source's low 32 bytes: nothing past the
    // 96 bytes of this step is touched, not even near the end of a page.
    const __m512i b = _mm512_maskz_loadu_epi8(0xFFFFFFFFULL, in + i + 64);
    _mm512_storeu_si512(out + o, _mm512_permutex2var_epi8(a, idx, b));
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace fourofsix
