#include "emulated_kernels.hpp"

#include <array>

namespace fourofsix::emulated {

namespace {

bool always() { return true; }

constexpr std::array kernels{
    kernel_info{"emulated_ssse3", compact_ssse3, always},
    kernel_info{"emulated_avx2", compact_avx2, always},
    kernel_info{"emulated_avx512vbmi", compact_avx512vbmi, always},
    kernel_info{"emulated_neon", compact_neon, always},
};

} // namespace

std::span<const kernel_info> all_kernels() { return kernels; }

} // namespace fourofsix::emulated
