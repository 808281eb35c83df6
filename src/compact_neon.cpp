// NEON kernel: 48 input bytes (eight groups) become 32 output bytes. NEON is
// part of every aarch64 CPU, so this file needs no flags of its own.
#include "simd.hpp"

#include "compact.hpp"

#ifdef FOUROFSIX_EMULATED
#include <simde/arm/neon.h>
#else
#include <arm_neon.h>
#endif

#include <cstdint>

namespace FOUROFSIX_KERNEL_NS {

std::size_t compact_neon(const unsigned char *in, std::size_t n, unsigned char *out) {
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 48 <= n; i += 48, o += 32) {
    // Read as 16-bit pairs and de-interleaved three ways, bytes 0-1, 2-3 and
    // 4-5 of the eight groups land in val[0], val[1] and val[2]. Storing the
    // first two interleaved again writes bytes 0-3 of each group in order.
    // Pairs are loaded and stored whole, so byte order never matters; the
    // instructions need no alignment.
    const uint16x8x3_t g = vld3q_u16(reinterpret_cast<const std::uint16_t *>(in + i));
    const uint16x8x2_t kept{{g.val[0], g.val[1]}};
    vst2q_u16(reinterpret_cast<std::uint16_t *>(out + o), kept);
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace FOUROFSIX_KERNEL_NS
