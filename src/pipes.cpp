#include "pipes.hpp"

#include "config.hpp"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// The number the /proc file at `path` starts with, at most `cap`; -1 if it
// cannot be read. O_CLOEXEC and an immediate close: if stdin or stdout is
// closed, this open takes its number, which must be free again before
// streaming.
long proc_number(const char *path, long cap) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  char text[32];
  const ssize_t n = read(fd, text, sizeof text);
  close(fd);
  return n > 0 ? leading_number({text, static_cast<std::size_t>(n)}, cap) : -1;
}

// The size each pipe is grown to: pipe_size, never more than an unprivileged
// process may ask for (pipe-max-size), nor than its share of the user's pipe
// quota (pipe-user-pages-soft, in pages; 0 means no quota). 0, so nothing
// grows, when either limit is unknown.
long pipe_goal() {
  const long most = proc_number("/proc/sys/fs/pipe-max-size", static_cast<long>(pipe_size));
  const long quota = proc_number("/proc/sys/fs/pipe-user-pages-soft", 1L << 26);
  if (most < 0 || quota < 0)
    return 0;
  if (quota == 0)
    return most;
  // 64-bit arithmetic: a quota of 2^26 pages of 64 KiB is 2^42 bytes.
  const long long share = static_cast<long long>(quota) * sysconf(_SC_PAGESIZE) / pipe_quota_share;
  return static_cast<long>(std::min<long long>(most, share));
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
  const long want = pipe_goal();
  if (in_pipe)
    grow_pipe(in, want);
  if (out_pipe)
    grow_pipe(out, want);
}

} // namespace fourofsix
