// Shared by the tests: the definition of the output, random bytes, and the
// descriptors the stream is run over.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace fourofsix::testing {

using bytes = std::vector<unsigned char>;

// The definition, one byte at a time: input position p (counted from the
// stream's start, which sits at cycle position `phase`) is kept when
// p mod 6 < 4.
inline bytes keep_four_of_six(const unsigned char *in, std::size_t n, unsigned phase = 0) {
  bytes out;
  for (std::size_t i = 0; i < n; ++i)
    if ((phase + i) % 6 < 4)
      out.push_back(in[i]);
  return out;
}

inline bytes keep_four_of_six(const bytes &in) { return keep_four_of_six(in.data(), in.size()); }

inline bytes random_bytes(std::mt19937_64 &rng, std::size_t n) {
  bytes b(n);
  for (auto &x : b)
    x = static_cast<unsigned char>(rng());
  return b;
}

// An in-memory file holding `content` (bytes or a string), positioned at its
// start, so the tool runs over a real descriptor; -1 if it cannot be made.
template <class C> int memfile(const C &content) {
  const int fd = memfd_create("fourofsix-test", MFD_CLOEXEC);
  if (fd >= 0 &&
      (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
       lseek(fd, 0, SEEK_SET) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

// All that fd holds, from its start, as C (bytes or a string); shorter if it
// cannot all be read.
template <class C> C contents(int fd) {
  C all(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
  const ssize_t n = pread(fd, all.data(), all.size(), 0);
  all.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return all;
}

// Ends the messages sent on fd, a socket of `type`: the reader of a
// sequenced-packet socket sees the shutdown, but a datagram socket's reader
// sees no end when its peer goes, only an empty datagram. 0, or -1 on error.
inline int end_messages(int fd, int type) {
  return type == SOCK_SEQPACKET ? shutdown(fd, SHUT_WR)
                                : static_cast<int>(send(fd, "", 0, MSG_NOSIGNAL));
}

} // namespace fourofsix::testing
