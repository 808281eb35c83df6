// Small I/O helpers over read(2) and write(2), each with one guarantee.
#pragma once

#include <cstddef>

namespace fourofsix {

// Reads up to n bytes from fd into buf. Retries EINTR; when fd is
// non-blocking and has nothing yet, waits in poll(2) instead of spinning,
// and never clears O_NONBLOCK (the open file may be shared).
// Returns the count read (0 only at end of file), or -1 with errno set.
long safe_read(int fd, void *buf, std::size_t n);

// Writes all n bytes of buf to fd, continuing after partial writes, retrying
// EINTR and waiting in poll(2) on EAGAIN. Returns 0 once everything is
// written, or -1 with errno set; a write that accepts nothing counts as a
// failure (ENOSPC), since retrying it would loop forever.
int full_write(int fd, const void *buf, std::size_t n);

// Whether fd refers to an open file description at all.
bool fd_is_open(int fd);

} // namespace fourofsix
