// Sizes the stream layer is tuned to; see the benchmark in bench/.
#pragma once

#include <cstddef>

namespace fourofsix {

// Bytes asked of each read(2). A multiple of the page size and of nothing
// else in particular: the cycle is carried across reads.
inline constexpr std::size_t block_size = std::size_t{256} << 10;

// Size the pipes on standard input and output are grown to, at most.
inline constexpr std::size_t pipe_size = std::size_t{1} << 20;

} // namespace fourofsix
