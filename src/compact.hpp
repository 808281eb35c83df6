// Compaction kernels: keep bytes 0-3 of every group of six, drop bytes 4-5.
#pragma once

#include <cstddef>
#include <span>

namespace fourofsix {

// Contract shared by every kernel: `in` holds n bytes whose first byte opens a
// group of six. The kept bytes are written to `out`, which either does not
// overlap `in` or lies at or before it in the same buffer (each store lands
// only on bytes already consumed, so the tool can compact in place). Returns
// the number written: 4 * (n / 6) + min(n % 6, 4). Reads nothing past in[n-1]
// and writes nothing past the returned count.
using compact_fn = std::size_t (*)(const unsigned char *in, std::size_t n, unsigned char *out);

std::size_t compact_scalar(const unsigned char *in, std::size_t n, unsigned char *out);
#ifdef FOUROFSIX_X86
std::size_t compact_ssse3(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t compact_avx2(const unsigned char *in, std::size_t n, unsigned char *out);
#endif
#ifdef FOUROFSIX_AVX512
std::size_t compact_avx512vbmi(const unsigned char *in, std::size_t n, unsigned char *out);
#endif
#ifdef FOUROFSIX_NEON
std::size_t compact_neon(const unsigned char *in, std::size_t n, unsigned char *out);
#endif
#ifdef FOUROFSIX_VSX
std::size_t compact_vsx(const unsigned char *in, std::size_t n, unsigned char *out);
#endif

struct kernel_info {
  const char *name;
  compact_fn fn;
  bool (*usable)(); // can the running CPU (and OS) execute it?
};

// Every kernel built into this binary, portable first, widest last.
std::span<const kernel_info> all_kernels();

// The widest kernel the running CPU supports. The tool asks once, at start-up.
compact_fn best_kernel();

} // namespace fourofsix
