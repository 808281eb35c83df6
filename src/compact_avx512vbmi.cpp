// AVX-512 VBMI kernel: one two-source byte permute turns 96 input bytes
// (sixteen groups) into 64 output bytes. This file alone is built with the
// AVX-512 flags.
#include "compact_avx512vbmi.hpp"
#include "compact.hpp"

#include <immintrin.h>

namespace fourofsix {

std::size_t compact_avx512vbmi(const unsigned char *in, std::size_t n, unsigned char *out) {
  const __m512i idx = _mm512_loadu_si512(vbmi_permute_index.data());
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
