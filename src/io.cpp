#include "io.hpp"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// Blocks until fd is ready for `events`, without burning the CPU. Returns 0,
// or -1 with errno set.
//
// Some descriptors say they are ready while the call itself still would
// block: an eventfd whose counter is below its maximum but cannot take the
// value being written, a datagram that fails its checksum once received.
// There poll(2) returns at once, every time. `misses` counts the waits in a
// row since the caller last moved a byte; from the second one on, the wait
// also sleeps, 1 ms doubling to 64 ms, so such a wait costs a wake-up now
// and then, and a descriptor that tells the truth never pays for it.
int wait_for(int fd, short events, unsigned &misses) {
  if (misses > 0) {
    const long ms = 1L << (misses - 1);
    const timespec pause{ms / 1000, (ms % 1000) * 1'000'000};
    (void)nanosleep(&pause, nullptr); // cut short by a signal: poll anyway
  }
  if (misses < 7) // the pause stops growing at 64 ms
    ++misses;
  pollfd p{fd, events, 0};
  for (;;) {
    if (poll(&p, 1, -1) >= 0)
      return 0; // readiness or an error condition: the next call tells which
    if (errno != EINTR)
      return -1;
  }
}

bool would_block(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// The loop both readers share: `call` makes one attempt and returns what
// read(2) would; EINTR is retried and EAGAIN waited out.
template <class Call> long retry_read(int fd, Call call) {
  unsigned misses = 0;
  for (;;) {
    const long r = call();
    if (r >= 0)
      return r;
    if (errno == EINTR)
      continue;
    if (!would_block(errno) || wait_for(fd, POLLIN, misses) != 0)
      return -1;
  }
}

} // namespace

long safe_read(int fd, void *buf, std::size_t n) {
  return retry_read(fd, [&] { return static_cast<long>(read(fd, buf, n)); });
}

long safe_receive(int fd, void *buf, std::size_t n) {
  return retry_read(fd, [&]() -> long {
    iovec v{buf, n};
    msghdr m{};
    m.msg_iov = &v;
    m.msg_iovlen = 1;
    const ssize_t r = recvmsg(fd, &m, 0);
    if (r >= 0 && (m.msg_flags & MSG_TRUNC) != 0) {
      errno = EMSGSIZE;
      return -1;
    }
    return r;
  });
}

int full_write(int fd, const void *buf, std::size_t n) {
  const auto *p = static_cast<const unsigned char *>(buf);
  std::size_t most = n; // the largest write fd is known to take at once
  unsigned misses = 0;
  while (n > 0) {
    const std::size_t len = std::min(n, most);
    const ssize_t w = write(fd, p, len);
    if (w > 0) {
      p += w;
      n -= static_cast<std::size_t>(w);
      misses = 0;
      continue;
    }
    if (w == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (errno == EINTR)
      continue;
    if (errno == EMSGSIZE && len > 1) {
      most = len / 2;
      continue;
    }
    if (!would_block(errno) || wait_for(fd, POLLOUT, misses) != 0)
      return -1;
  }
  return 0;
}

bool fd_is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

} // namespace fourofsix
