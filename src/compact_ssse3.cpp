// SSSE3 kernel: 24 input bytes (four groups) become 16 output bytes.
// This file alone is built with -mssse3.
#include "simd.hpp"

#include "compact.hpp"

#ifdef FOUROFSIX_EMULATED
#include <simde/x86/ssse3.h>
#else
#include <tmmintrin.h>
#endif

namespace FOUROFSIX_KERNEL_NS {

std::size_t compact_ssse3(const unsigned char *in, std::size_t n, unsigned char *out) {
  // Bytes 0-15 give the first three groups' kept bytes (12 of them); the
  // fourth group's kept bytes 18-21 sit at 10-13 of a second load at +8.
  // Index -1 (high bit set) makes pshufb write a zero, so the two halves OR.
  const __m128i lo = _mm_setr_epi8(0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, //
                                   -1, -1, -1, -1);
  const __m128i hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, //
                                   -1, -1, 10, 11, 12, 13);
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 24 <= n; i += 24, o += 16) {
    // Both loads happen before the store, which keeps in-place use safe.
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i + 8));
    const __m128i v = _mm_or_si128(_mm_shuffle_epi8(a, lo), _mm_shuffle_epi8(b, hi));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + o), v);
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace FOUROFSIX_KERNEL_NS
