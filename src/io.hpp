// Small I/O helpers over read(2), recvmsg(2) and write(2), each with one
// guarantee.
#pragma once

#include <cstddef>

namespace fourofsix {

// Reads up to n bytes from fd into buf. Retries EINTR; when fd is
// non-blocking and has nothing yet, waits in poll(2) instead of spinning,
// and never clears O_NONBLOCK (the open file may be shared).
// Returns the count read (0 only at end of file), or -1 with errno set.
long safe_read(int fd, void *buf, std::size_t n);

// Receives from the socket fd up to n bytes into buf, one message at most,
// waiting as safe_read does. A plain read(2) would silently drop the part of
// a longer message that does not fit; here such a message is refused instead:
// -1 with errno EMSGSIZE, and none of its bytes count. Otherwise returns the
// message's length (0 for an empty message or the end of the stream), or -1
// with errno set.
long safe_receive(int fd, void *buf, std::size_t n);

// Writes all n bytes of buf to fd, continuing after partial writes, retrying
// EINTR and waiting in poll(2) on EAGAIN. A message socket takes each write
// as one message and refuses one larger than it can hold (EMSGSIZE); since
// the bytes are a stream, they are then sent as smaller messages. Returns 0
// once everything is written, or -1 with errno set; a write that accepts
// nothing counts as a failure (ENOSPC), since retrying it would loop forever.
int full_write(int fd, const void *buf, std::size_t n);

// Whether fd refers to an open file description at all.
bool fd_is_open(int fd);

} // namespace fourofsix
