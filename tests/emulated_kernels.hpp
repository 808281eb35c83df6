// The instruction-set kernels' own sources, built a second time against
// SIMDe's portable emulation of their intrinsics: they run on any CPU, so the
// tests and the fuzzer check every kernel wherever they run.
#pragma once

#include "compact.hpp"

namespace fourofsix::emulated {

std::size_t compact_ssse3(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t compact_avx2(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t compact_avx512vbmi(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t compact_neon(const unsigned char *in, std::size_t n, unsigned char *out);

// All four, each always usable.
std::span<const kernel_info> all_kernels();

} // namespace fourofsix::emulated
