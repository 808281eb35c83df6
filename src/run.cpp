#include "run.hpp"

#include "config.hpp"
#include "filter.hpp"
#include "io.hpp"
#include "pipes.hpp"
#include "same_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <span>
#include <sys/mman.h>
#include <unistd.h>

namespace fourofsix {

namespace {

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

// The only buffer, mapped once before any byte moves: memory does not depend
// on the length of the input, and nothing is allocated while streaming.
// Mapped, not static: a static megabyte belongs to the program's data
// segment, and under a data limit too small for it (ulimit -d) the kernel
// cannot even start the program, and kills it without a word. A mapping
// that a limit refuses is asked for again at half the size, down to
// min_block_size; an empty span if even that is refused.
std::span<unsigned char> map_buffer() {
  for (std::size_t n = block_size; n >= min_block_size; n /= 2) {
    void *p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED)
      return {static_cast<unsigned char *>(p), n};
  }
  return {};
}

} // namespace

int run(compact_fn k) {
  // A standard input that is not open at all reads as empty input.
  if (!fd_is_open(STDIN_FILENO))
    return 0;
  // Checked before a byte moves, so a refused run leaves the file as it was;
  // where it cannot be told, the run is refused all the same.
  switch (compare_ends(STDIN_FILENO, STDOUT_FILENO)) {
  case overlap::none:
    break;
  case overlap::overtakes:
    say({"standard input is the output file"});
    return 1;
  case overlap::unknown:
    say({"cannot tell whether standard input is the output file: ", strerror(errno)});
    return 1;
  }
  const std::span<unsigned char> buf = map_buffer();
  if (buf.empty()) {
    say({"cannot allocate a buffer: ", strerror(errno)});
    return 1;
  }
  const long out_pipe = tune_descriptors(STDIN_FILENO, STDOUT_FILENO);
  // Into a pipe, a read whose kept bytes (two thirds of it) fill at most
  // half the pipe: the consumer drains one half while the next block goes
  // into the other, where a block larger than the pipe makes the two take
  // turns. Measured with bench/run: three times as fast into a 64 KiB pipe,
  // and a 512 KiB pipe as fast as a 1 MiB one.
  const std::size_t chunk = out_pipe > 0 ? std::clamp(static_cast<std::size_t>(out_pipe) / 4 * 3,
                                                      min_block_size, buf.size())
                                         : buf.size();
  const run_result r = filter_stream(STDIN_FILENO, STDOUT_FILENO, k, buf.data(), buf.size(), chunk);
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
