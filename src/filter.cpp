#include "filter.hpp"

#include "io.hpp"

#include <cerrno>

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

run_result filter_stream(int in, int out, compact_fn k, unsigned char *buf, std::size_t bufsize) {
  run_result r;
  cycle c;
  // Chosen once: a message socket is read a whole message at a time, and one
  // that does not fit in buf ends the run as a read error instead of losing
  // its tail. Messages that fit are simply the next bytes of the stream.
  const auto take = is_message_socket(in) ? safe_receive : safe_read;
  for (;;) {
    const long n = take(in, buf, bufsize);
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
