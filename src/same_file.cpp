#include "same_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {

namespace {

// Whether in and out share one open file description, and so one offset:
// moving the offset of out then moves that of in. Both sit at `at`, and
// are left there.
bool share_offset(int in, int out, off_t at) {
  if (lseek(out, at + 1, SEEK_SET) != at + 1)
    return false;
  const bool shared = lseek(in, 0, SEEK_CUR) == at + 1;
  (void)lseek(out, at, SEEK_SET);
  return shared;
}

} // namespace

bool output_overtakes_input(int in, int out) {
  struct stat si {};
  struct stat so {};
  if (fstat(in, &si) != 0 || fstat(out, &so) != 0 || !S_ISREG(si.st_mode) ||
      si.st_dev != so.st_dev || si.st_ino != so.st_ino)
    return false;
  const off_t read_at = lseek(in, 0, SEEK_CUR);
  if (read_at < 0 || read_at >= si.st_size)
    return false; // nothing left to read, so nothing to overtake
  const int flags = fcntl(out, F_GETFL);
  if (flags < 0 || (flags & O_APPEND) != 0)
    return true;
  const off_t write_at = lseek(out, 0, SEEK_CUR);
  if (write_at < 0 || write_at > read_at)
    return true;
  return write_at == read_at && share_offset(in, out, read_at);
}

} // namespace fourofsix
