#include "filter.hpp"

#include "io.hpp"
#include "pipes.hpp"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace fourofsix {

std::size_t filter_block(compact_fn k, unsigned char *buf, std::size_t n, cycle &c) {
  std::size_t i = 0;
  std::size_t o = 0;
  // Finish the group the previous block left open; at most five bytes.
  for (; c.phase != 0 && i < n; ++i) {
    if (c.phase < 4)
      buf[o++] = buf[i];
    c.phase = (c.phase + 1) % 6;
  }
  if (i == n)
    return o;
  o += k(buf + i, n - i, buf + o);
  c.phase = static_cast<unsigned>((n - i) % 6);
  return o;
}

run_result filter_stream(int in, int out, compact_fn k, unsigned char *buf, std::size_t bufsize,
                         std::size_t chunk) {
  run_result r;
  cycle c;
  // A socket is received from, never read: recvmsg(2) flags a message cut
  // short, which read(2) drops without a word, and a stream socket never
  // has one. Asking the socket its type would rely on getsockopt(2), which
  // a sandbox may deny; an input whose type cannot be told at all is tried
  // as a socket first, and read once it proves to be none.
  const mode_t type = file_type(in);
  bool receive = type == S_IFSOCK || type == 0;
  for (;;) {
    const long n =
        receive ? safe_receive(in, buf, bufsize) : safe_read(in, buf, std::min(chunk, bufsize));
    if (n < 0 && receive && errno == ENOTSOCK) {
      receive = false;
      continue;
    }
    if (n == 0)
      return r;
    if (n < 0) {
      r.how = outcome::read_failed;
      r.error = errno;
      return r;
    }
    const std::size_t kept = filter_block(k, buf, static_cast<std::size_t>(n), c);
    if (kept == 0)
      continue;
    if (full_write(out, buf, kept) != 0) {
      r.how = outcome::write_failed;
      r.error = errno;
      return r;
    }
    r.wrote = true;
  }
}

} // namespace fourofsix
