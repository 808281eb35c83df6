#include "io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// Blocks until fd is ready for `events`. Returns 0, or -1 with errno set.
int wait_for(int fd, short events) {
  pollfd p{fd, events, 0};
  for (;;) {
    if (poll(&p, 1, -1) >= 0)
      return 0; // readiness or an error condition: the next call tells which
    if (errno != EINTR)
      return -1;
  }
}

bool would_block(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

} // namespace

long safe_read(int fd, void *buf, std::size_t n) {
  for (;;) {
    const ssize_t r = read(fd, buf, n);
    if (r >= 0)
      return r;
    if (errno == EINTR)
      continue;
    if (!would_block(errno) || wait_for(fd, POLLIN) != 0)
      return -1;
  }
}

int full_write(int fd, const void *buf, std::size_t n) {
  const auto *p = static_cast<const unsigned char *>(buf);
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<std::size_t>(w);
      continue;
    }
    if (w == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (errno == EINTR)
      continue;
    if (!would_block(errno) || wait_for(fd, POLLOUT) != 0)
      return -1;
  }
  return 0;
}

bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

} // namespace fourofsix
