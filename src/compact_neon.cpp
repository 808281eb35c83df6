// NEON kernel: 48 input bytes (eight groups) become 32 output bytes. NEON is
// part of every aarch64 CPU; on 32-bit ARM this file alone is built with
// -mfpu=neon and chosen only where the CPU has it.
#include "simd.hpp"

#include "compact.hpp"

#ifdef FOUROFSIX_EMULATED
#include <simde/arm/neon.h>
#else
#include <arm_neon.h>
#endif

#include <cstdint>
#include <cstring>

namespace FOUROFSIX_KERNEL_NS {

namespace {

#ifdef FOUROFSIX_EMULATED
// SIMDe's portable vld3q_u16 and vst2q_u16 read and write through uint16_t
// pointers, which a CPU that requires aligned halfwords (MIPS, say) faults
// on at an odd address; the instructions themselves need no alignment. The
// emulated kernel goes through an aligned copy instead.
uint16x8x3_t load3(const unsigned char *p) {
  alignas(16) std::uint16_t a[24];
  std::memcpy(a, p, sizeof a);
  return vld3q_u16(a);
}
void store2(unsigned char *p, uint16x8x2_t v) {
  alignas(16) std::uint16_t a[16];
  vst2q_u16(a, v);
  std::memcpy(p, a, sizeof a);
}
#else
uint16x8x3_t load3(const unsigned char *p) {
  return vld3q_u16(reinterpret_cast<const std::uint16_t *>(p));
}
void store2(unsigned char *p, uint16x8x2_t v) {
  vst2q_u16(reinterpret_cast<std::uint16_t *>(p), v);
}
#endif

} // namespace

std::size_t compact_neon(const unsigned char *in, std::size_t n, unsigned char *out) {
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 48 <= n; i += 48, o += 32) {
    // Read as 16-bit pairs and de-interleaved three ways, bytes 0-1, 2-3 and
    // 4-5 of the eight groups land in val[0], val[1] and val[2]. Storing the
    // first two interleaved again writes bytes 0-3 of each group in order.
    // Pairs are loaded and stored whole, so byte order never matters.
    const uint16x8x3_t g = load3(in + i);
    store2(out + o, uint16x8x2_t{{g.val[0], g.val[1]}});
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace FOUROFSIX_KERNEL_NS
