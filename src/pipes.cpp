#include "pipes.hpp"

#include "config.hpp"

#include <algorithm>
#include <bit>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Whether the kernel exempts this process from the user's pipe quota, as it
// does one holding CAP_SYS_RESOURCE or CAP_SYS_ADMIN in the initial user
// namespace. Root inside a container's own user namespace holds them only
// there, and is bound; so is anything that cannot be asked.
bool quota_exempt() {
  __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &head, caps) != 0)
    return false;
  const auto holds = [&](unsigned cap) { return (caps[cap / 32].effective >> cap % 32 & 1U) != 0; };
  if (!holds(CAP_SYS_RESOURCE) && !holds(CAP_SYS_ADMIN))
    return false;
  // The initial user namespace's inode number is fixed (PROC_USER_INIT_INO).
  struct stat ns {};
  return stat("/proc/self/ns/user", &ns) == 0 && ns.st_ino == 0xEFFFFFFDU;
}

// The size each of the `pipes` pipes it grows (1 or 2) is given: pipe_size,
// never more than an unprivileged process may ask for (pipe-max-size), and,
// where the quota binds, the pipes together never more than the run's share
// of it (the smaller of pipe-user-pages-soft and -hard that is set, in
// pages). Rounded down to a power of two, since the kernel rounds a size up
// to one: asked for 768 KiB, a 256th of 49152 pages, it grants 1 MiB, a
// 192nd. 0, so nothing grows, when a limit is unknown or the goal is below
// a page.
long pipe_goal(int pipes) {
  const long most = proc_number("/proc/sys/fs/pipe-max-size", static_cast<long>(pipe_size));
  if (most < 0)
    return 0;
  const long page = sysconf(_SC_PAGESIZE);
  long long goal = most;
  if (!quota_exempt()) {
    const long soft = proc_number("/proc/sys/fs/pipe-user-pages-soft", 1L << 26);
    const long hard = proc_number("/proc/sys/fs/pipe-user-pages-hard", 1L << 26);
    if (soft < 0 || hard < 0)
      return 0;
    const long quota = soft == 0 || (hard != 0 && hard < soft) ? hard : soft;
    // 64-bit arithmetic: a quota of 2^26 pages of 64 KiB is 2^42 bytes.
    if (quota != 0)
      goal = std::min(goal, static_cast<long long>(quota) * page / pipe_quota_share / pipes);
  }
  return goal < page ? 0 : static_cast<long>(std::bit_floor(static_cast<unsigned long long>(goal)));
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

long tune_descriptors(int in, int out) {
  const mode_t in_type = file_type(in);
  if (in_type == S_IFREG)
    (void)posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  const bool in_pipe = in_type == S_IFIFO;
  const bool out_pipe = file_type(out) == S_IFIFO;
  if (!in_pipe && !out_pipe)
    return 0;
  const long want = pipe_goal(in_pipe && out_pipe ? 2 : 1);
  if (in_pipe)
    grow_pipe(in, want);
  if (!out_pipe)
    return 0;
  grow_pipe(out, want);
  const int size = fcntl(out, F_GETPIPE_SZ);
  return size > 0 ? size : 0;
}

} // namespace fourofsix
