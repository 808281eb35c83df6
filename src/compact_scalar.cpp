// The portable kernel: builds everywhere and is the reference the
// instruction-set kernels are tested against.
#include "compact.hpp"

#include <algorithm>
#include <cstring>

namespace fourofsix {

std::size_t compact_scalar(const unsigned char *in, std::size_t n, unsigned char *out) {
  std::size_t i = 0;
  std::size_t o = 0;
  // memmove, not memcpy: in place, a group's first kept byte may be its own
  // source. A fixed 4-byte move compiles to one load and one store.
  for (; i + 6 <= n; i += 6, o += 4)
    std::memmove(out + o, in + i, 4);
  // An empty range may come with null pointers, which memmove must not see.
  const std::size_t tail = std::min<std::size_t>(n - i, 4);
  if (tail != 0)
    std::memmove(out + o, in + i, tail);
  return o + tail;
}

} // namespace fourofsix
