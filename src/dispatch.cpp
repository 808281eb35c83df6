// The one place that knows which kernels exist and which the CPU can run.
#include "compact.hpp"

#include <array>

#ifdef FOUROFSIX_NEON_HWCAP
#include <sys/auxv.h>
#endif

namespace fourofsix {

namespace {

bool always() { return true; }

#ifdef FOUROFSIX_X86
// __builtin_cpu_supports also checks that the OS saves the wide registers.
bool has_ssse3() { return __builtin_cpu_supports("ssse3"); }
bool has_avx2() { return __builtin_cpu_supports("avx2"); }
#endif
#ifdef FOUROFSIX_NEON_HWCAP
// 32-bit ARM: NEON is optional (HWCAP_ARM_NEON, bit 12 of AT_HWCAP).
bool has_neon() { return (getauxval(AT_HWCAP) & (1UL << 12)) != 0; }
#elif defined(FOUROFSIX_NEON)
// Every aarch64 CPU has NEON.
bool has_neon() { return true; }
#endif
#ifdef FOUROFSIX_AVX512
bool has_avx512vbmi() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi");
}
#endif

constexpr std::array kernels{
    kernel_info{"scalar", compact_scalar, always},
#ifdef FOUROFSIX_X86
    kernel_info{"ssse3", compact_ssse3, has_ssse3},
    kernel_info{"avx2", compact_avx2, has_avx2},
#endif
#ifdef FOUROFSIX_AVX512
    kernel_info{"avx512vbmi", compact_avx512vbmi, has_avx512vbmi},
#endif
#ifdef FOUROFSIX_NEON
    kernel_info{"neon", compact_neon, has_neon},
#endif
#ifdef FOUROFSIX_VSX
    // POWER8, the ppc64el baseline, has VSX: no run-time test.
    kernel_info{"vsx", compact_vsx, always},
#endif
};

} // namespace

std::span<const kernel_info> all_kernels() { return kernels; }

compact_fn best_kernel() {
  compact_fn best = compact_scalar;
  for (const auto &k : kernels)
    if (k.usable())
      best = k.fn;
  return best;
}

} // namespace fourofsix
