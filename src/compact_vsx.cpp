// POWER VSX kernel (ppc64el): 24 input bytes (four groups) become 16 output
// bytes. VSX is part of POWER8, the ppc64el baseline, so this file needs no
// flags of its own. SIMDe does not emulate these intrinsics: the kernel is
// tested under qemu-ppc64le only.
#include "compact.hpp"

#include <altivec.h>

namespace fourofsix {

std::size_t compact_vsx(const unsigned char *in, std::size_t n, unsigned char *out) {
  // One permute of two loads, the second at +8 so that no byte past the 24
  // is read: indexes 0-15 pick from the first, 16-31 from the second, where
  // the fourth group's kept bytes 18-21 sit at 10-13. vec_xl, vec_perm and
  // vec_xst all follow the bytes' order in memory, on either endianness.
  const __vector unsigned char keep = {0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, 26, 27, 28, 29};
  std::size_t i = 0;
  std::size_t o = 0;
  for (; i + 24 <= n; i += 24, o += 16) {
    // Both loads happen before the store, which keeps in-place use safe.
    const __vector unsigned char a = vec_xl(0, in + i);
    const __vector unsigned char b = vec_xl(8, in + i);
    vec_xst(vec_perm(a, b, keep), 0, out + o);
  }
  return o + compact_scalar(in + i, n - i, out + o);
}

} // namespace fourofsix
