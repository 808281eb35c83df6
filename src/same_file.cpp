#include "same_file.hpp"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// Whether a and b reach the same bytes: one inode of a regular file, or
// one block device, which two device nodes (two inodes) can both name.
bool same_data(const struct stat &a, const struct stat &b) {
  if (S_ISREG(a.st_mode) && S_ISREG(b.st_mode))
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  return S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode) && a.st_rdev == b.st_rdev;
}

// The length of the data behind fd, whose status is st: a block device
// reports 0 as its st_size. -1 with errno set if it cannot be had.
off_t data_size(int fd, const struct stat &st) {
  if (S_ISREG(st.st_mode))
    return st.st_size;
  std::uint64_t bytes = 0;
  return ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? static_cast<off_t>(bytes) : -1;
}

// Whether in and out share one open file description, and so one offset:
// moving the offset of out then moves that of in. Both sit at `at`, and
// are left there; if either cannot be moved or read back, nobody knows.
overlap share_offset(int in, int out, off_t at) {
  if (lseek(out, at + 1, SEEK_SET) != at + 1)
    return overlap::unknown;
  const off_t seen = lseek(in, 0, SEEK_CUR);
  const int err = errno;
  if (lseek(out, at, SEEK_SET) != at)
    return overlap::unknown;
  if (seen < 0) {
    errno = err;
    return overlap::unknown;
  }
  return seen == at + 1 ? overlap::overtakes : overlap::none;
}

} // namespace

overlap compare_ends(int in, int out) {
  struct stat si {};
  struct stat so {};
  if (fstat(in, &si) != 0) {
    // A file or a disk can always be sought; an input that cannot is a
    // stream (pipe, socket, terminal), which no output reaches.
    const int err = errno;
    if (lseek(in, 0, SEEK_CUR) < 0 && errno == ESPIPE)
      return overlap::none;
    errno = err;
    return overlap::unknown;
  }
  if (!S_ISREG(si.st_mode) && !S_ISBLK(si.st_mode))
    return overlap::none;
  if (fstat(out, &so) != 0) // a closed output cannot reach anything
    return errno == EBADF ? overlap::none : overlap::unknown;
  if (!same_data(si, so))
    return overlap::none;
  const off_t size = data_size(in, si);
  const off_t read_at = lseek(in, 0, SEEK_CUR);
  if (size < 0 || read_at < 0)
    return overlap::unknown;
  // Nothing left to read, so nothing to overtake; but a size of 0 proves
  // nothing, since file systems that do not know a file's length in
  // advance (procfs-like and direct-I/O FUSE ones) report 0 for it.
  if (size > 0 && read_at >= size)
    return overlap::none;
  const int flags = fcntl(out, F_GETFL);
  if (flags < 0)
    return overlap::unknown;
  if ((flags & O_APPEND) != 0)
    return overlap::overtakes;
  const off_t write_at = lseek(out, 0, SEEK_CUR);
  if (write_at < 0)
    return overlap::unknown;
  if (write_at != read_at)
    return write_at > read_at ? overlap::overtakes : overlap::none;
  return share_offset(in, out, read_at);
}

} // namespace fourofsix
