#include "run.hpp"

#include "config.hpp"
#include "filter.hpp"
#include "io.hpp"
#include "pipes.hpp"
#include "same_file.hpp"

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace fourofsix {

namespace {

// Static, page-aligned, and the only buffer: memory does not depend on the
// length of the input, and nothing is allocated while streaming.
alignas(4096) unsigned char buffer[block_size];

// Writes "fourofsix: " and then the parts as one line with one write(2), so
// it cannot interleave with another process's message.
void say(std::initializer_list<const char *> parts) {
  char line[256] = "fourofsix: ";
  std::size_t len = std::strlen(line);
  for (const char *part : parts)
    for (; *part != '\0' && len < sizeof line - 1; ++part)
      line[len++] = *part;
  line[len++] = '\n';
  (void)full_write(STDERR_FILENO, line, len);
}

void report(const char *what, int err) { say({what, " error: ", strerror(err)}); }

} // namespace

int run(compact_fn k) {
  // A standard input that is not open at all reads as empty input.
  if (!fd_is_open(STDIN_FILENO))
    return 0;
  // Checked before a byte moves, so a refused run leaves the file as it was.
  if (output_overtakes_input(STDIN_FILENO, STDOUT_FILENO)) {
    say({"standard input is the output file"});
    return 1;
  }
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
