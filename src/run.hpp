// The whole tool over standard input and output, for a given kernel.
#pragma once

#include "compact.hpp"

namespace fourofsix {

// Streams standard input to standard output through kernel k, reports each
// failure in one line on standard error (the first failure first), closes
// standard output when it wrote to it, and returns the exit status: 0 when
// the whole input was read and every kept byte written, 1 otherwise.
// The executable passes the best kernel; the benchmark's I/O floor passes
// one that moves nothing.
int run(compact_fn k);

} // namespace fourofsix
