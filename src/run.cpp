#include "run.hpp"

#include "config.hpp"
#include "filter.hpp"
#include "io.hpp"
#include "pipes.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace fourofsix {

namespace {

// Static, page-aligned, and the only buffer: memory does not depend on the
// length of the input, and nothing is allocated while streaming.
alignas(4096) unsigned char buffer[block_size];

// Writes "fourofsix: <what> error: <reason>" as one line with one write(2),
// so it cannot interleave with another process's message.
void report(const char *what, int err) {
  char line[256];
  std::size_t len = 0;
  const char *const parts[] = {"fourofsix: ", what, " error: ", strerror(err), "\n"};
  for (const char *part : parts)
    for (; *part != '\0' && len < sizeof line - 1; ++part)
      line[len++] = *part;
  if (line[len - 1] != '\n')
    line[len++] = '\n';
  (void)full_write(STDERR_FILENO, line, len);
}

} // namespace

int run(compact_fn k) {
  // A standard input that is not open at all reads as empty input.
  if (!fd_is_open(STDIN_FILENO))
    return 0;
  tune_descriptors(STDIN_FILENO, STDOUT_FILENO);
  const run_result r = filter_stream(STDIN_FILENO, STDOUT_FILENO, k, buffer, sizeof buffer);
  if (r.how == outcome::write_failed) {
    report("write", r.error);
    return 1;
  }
  int status = 0;
  if (r.how == outcome::read_failed) {
    report("read", r.error);
    status = 1;
  }
  // Some file systems report a failed write only when the file is closed.
  if (r.wrote && close(STDOUT_FILENO) != 0 && errno != EINTR) {
    report("write", errno);
    status = 1;
  }
  return status;
}

} // namespace fourofsix
