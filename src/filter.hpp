// The four-of-six cycle over a stream that arrives in blocks of any size.
#pragma once

#include "compact.hpp"

#include <cstddef>

namespace fourofsix {

// Position in the cycle of the next input byte: 0-3 are kept, 4 and 5
// dropped. It is carried from block to block because reads return any amount.
struct cycle {
  unsigned phase = 0;
};

// Compacts the n bytes at buf in place with kernel k, continuing the cycle
// where the previous block left it, and advances the cycle past them.
// Returns how many kept bytes now start at buf.
std::size_t filter_block(compact_fn k, unsigned char *buf, std::size_t n, cycle &c);

// How a run of the whole stream ended.
enum class outcome { end_of_input, read_failed, write_failed };
struct run_result {
  outcome how = outcome::end_of_input;
  int error = 0;      // errno of the failed call
  bool wrote = false; // whether any byte was written
};

// Reads `in` to its end through buf (size bufsize), at most `chunk` bytes
// (up to bufsize) at a time, writing the kept bytes of each read to `out`
// before the next read, so output never waits on input. Stops at the first
// failure: a failed write ends the run without reading on; a failed read
// ends it after everything kept before it has been written. A socket is
// received from a whole buffer at a time, and there a message longer than
// bufsize is such a failure (EMSGSIZE), so its tail is never lost unnoticed.
run_result filter_stream(int in, int out, compact_fn k, unsigned char *buf, std::size_t bufsize,
                         std::size_t chunk);

} // namespace fourofsix
