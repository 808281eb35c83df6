#include "pipes.hpp"

#include "config.hpp"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// The largest pipe an unprivileged process may ask for, at most `cap`; 0 if
// unknown.
long pipe_max_size(long cap) {
  // O_CLOEXEC and an immediate close: if stdin or stdout is closed this
  // open takes its number, and it must be free again before streaming.
  const int fd = open("/proc/sys/fs/pipe-max-size", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  char text[32];
  const ssize_t n = read(fd, text, sizeof text);
  close(fd);
  return leading_number({text, n > 0 ? static_cast<std::size_t>(n) : 0}, cap);
}

void grow_pipe(int fd, long want) {
  const int have = fcntl(fd, F_GETPIPE_SZ);
  if (have >= 0 && have < want)
    (void)fcntl(fd, F_SETPIPE_SZ, static_cast<int>(want));
}

} // namespace

mode_t file_type(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 ? st.st_mode & S_IFMT : 0;
}

long leading_number(std::string_view text, long cap) {
  long v = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9')
      break;
    // v <= cap before this step, so v * 10 + 9 cannot overflow for any cap
    // below LONG_MAX / 10; the value stops growing once it passes cap.
    v = std::min(v * 10 + (ch - '0'), cap);
  }
  return v;
}

void tune_descriptors(int in, int out) {
  const mode_t in_type = file_type(in);
  if (in_type == S_IFREG)
    (void)posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  const bool in_pipe = in_type == S_IFIFO;
  const bool out_pipe = file_type(out) == S_IFIFO;
  if (!in_pipe && !out_pipe)
    return;
  const long want = pipe_max_size(static_cast<long>(pipe_size));
  if (in_pipe)
    grow_pipe(in, want);
  if (out_pipe)
    grow_pipe(out, want);
}

} // namespace fourofsix
