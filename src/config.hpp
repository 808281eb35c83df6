// Sizes the stream layer is tuned to; see the benchmark in bench/.
#pragma once

#include <cstddef>

namespace fourofsix {

// Bytes asked of each read(2), and so the largest message taken whole from a
// message socket. A multiple of the page size and of nothing else in
// particular: the cycle is carried across reads.
//
// 1 MiB, measured with bench/run (1 GiB cached input, 21 alternating
// whole-process pairs, medians) on an AMD EPYC with AVX-512 VBMI, 2 cores,
// Linux 6.18, as this build's time over that of the same build with another
// size, for file -> /dev/null, file -> tmpfs, file -> pipe, pipe -> /dev/null
// and cat | tool | cat:
//   against 256 KiB: 0.92 0.97 0.90 0.98 0.99
//   against 512 KiB: 0.95 0.91 0.95 0.99 0.99
//   against   2 MiB: 1.03 1.00 0.87 1.02 0.94
// Fewer, larger copies out of the page cache win up to 1 MiB; beyond it the
// buffer outgrows the CPU's second-level cache and the compaction pass slows.
// Peak resident memory stays about 2.2 MiB, whatever the input's length.
inline constexpr std::size_t block_size = std::size_t{1} << 20;

// The smallest block the tool settles for where a memory limit refuses a
// larger one: a page, below which a read costs more than it moves.
inline constexpr std::size_t min_block_size = 4096;

// Size the pipes on standard input and output are grown to, at most.
inline constexpr std::size_t pipe_size = std::size_t{1} << 20;

// The part of a user's pipe quota (pipe-user-pages-soft) that one run's
// grown pipes may take together, at most: 1/128, so 64 runs hold half of
// it, and the user's other programs still get pipes of the default size.
// Past the quota the kernel cuts every new pipe of that user to a page or
// two. A run that grows two pipes gives each half its share.
inline constexpr long pipe_quota_share = 128;

} // namespace fourofsix
