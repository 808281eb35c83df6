#include "pipes.hpp"

#include "config.hpp"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {

namespace {

bool is_pipe(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
}

// The largest pipe an unprivileged process may ask for, or 0 if unknown.
long pipe_max_size() {
  // O_CLOEXEC and an immediate close: if stdin or stdout is closed this
  // open takes its number, and it must be free again before streaming.
  const int fd = open("/proc/sys/fs/pipe-max-size", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  char text[32];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  long v = 0;
  for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
    v = v * 10 + (text[i] - '0');
  return v;
}

void grow_pipe(int fd, long want) {
  const int have = fcntl(fd, F_GETPIPE_SZ);
  if (have >= 0 && have < want)
    (void)fcntl(fd, F_SETPIPE_SZ, static_cast<int>(want));
}

} // namespace

void tune_descriptors(int in, int out) {
  struct stat st {};
  if (fstat(in, &st) == 0 && S_ISREG(st.st_mode))
    (void)posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  const bool in_pipe = is_pipe(in);
  const bool out_pipe = is_pipe(out);
  if (!in_pipe && !out_pipe)
    return;
  const long want = std::min(static_cast<long>(pipe_size), pipe_max_size());
  if (in_pipe)
    grow_pipe(in, want);
  if (out_pipe)
    grow_pipe(out, want);
}

} // namespace fourofsix
