// AVX-512 VBMI kernel: one two-source byte permute turns 96 input bytes
// (sixteen groups) into 64 output bytes. This file alone is built with the
// AVX-512 flags.
#include "simd.hpp"

#include "compact.hpp"
#include "compact_avx512vbmi.hpp"

#ifdef FOUROFSIX_EMULATED
#include <simde/x86/avx512.h>
#else
#include <immintrin.h>
#endif

namespace FOUROFSIX_KERNEL_NS {

std::size_t compact_avx512vbmi(const unsigned char *in, std::size_t n, unsigned char *out) {
  const __m512i idx = _mm512_loadu_si512(vbmi_permute_index.data());
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 96 <= n; i += 96, o += 64) {
    const __m512i a = _mm512_loadu_si512(in + i);
    // Only the second source's low 32 bytes are indexed, so a 256-bit load
    // widened to 512 bits serves: nothing past the 96 bytes of this step is
    // read, not even near the end of a page, and the upper half (undefined)
    // is never picked.
    const __m512i b =
        _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i + 64)));
    _mm512_storeu_si512(out + o, _mm512_permutex2var_epi8(a, idx, b));
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace FOUROFSIX_KERNEL_NS
