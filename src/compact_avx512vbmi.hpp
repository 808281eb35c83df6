// The permute table of the AVX-512 VBMI kernel, kept apart from the kernel
// so that tests on any CPU can check it.
#pragma once

#include <array>

namespace fourofsix {

// Output byte j of a 96-to-64 step comes from input byte 6 * (j / 4) + j % 4.
// vpermt2b reads indexes 0-63 from its first source and 64-127 from its
// second, so with the second source loaded at +64 the index is the input
// offset itself.
inline constexpr std::array<unsigned char, 64> vbmi_permute_index{
    0,  1,  2,  3,  6,  7,  8,  9,  12, 13, 14, 15, 18, 19, 20, 21, //
    24, 25, 26, 27, 30, 31, 32, 33, 36, 37, 38, 39, 42, 43, 44, 45, //
    48, 49, 50, 51, 54, 55, 56, 57, 60, 61, 62, 63, 66, 67, 68, 69, //
    72, 73, 74, 75, 78, 79, 80, 81, 84, 85, 86, 87, 90, 91, 92, 93};

} // namespace fourofsix
