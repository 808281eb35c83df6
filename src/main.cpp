// fourofsix: copy standard input to standard output, keeping the first four
// bytes of every six. Arguments are accepted and ignored.
#include "compact.hpp"
#include "config.hpp"
#include "filter.hpp"
#include "io.hpp"
#include "pipes.hpp"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Static, page-aligned, and the only buffer: memory does not depend on the
// length of the input, and nothing is allocated while streaming.
alignas(4096) unsigned char buffer[fourofsix::block_size];

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
  (void)fourofsix::full_write(STDERR_FILENO, line, len);
}

} // namespace

int main() {
  using namespace fourofsix;
  // A standard input that is not open at all reads as empty input.
  if (!fd_is_open(STDIN_FILENO))
    return 0;
  const compact_fn kernel = best_kernel();
  tune_descriptors(STDIN_FILENO, STDOUT_FILENO);
  const run_result r = filter_stream(STDIN_FILENO, STDOUT_FILENO, kernel, buffer, sizeof buffer);
  if (r.how == outcome::write_failed) {
    report("write", r.error);
    return 1;
  }
  // Some file systems report a failed write only when the file is closed.
  if (r.wrote && close(STDOUT_FILENO) != 0 && errno != EINTR) {
    report("write", errno);
    return 1;
  }
  if (r.how == outcome::read_failed) {
    report("read", r.error);
    return 1;
  }
  return 0;
}
