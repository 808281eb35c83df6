// Preloaded into the tool by one test: close(2) of standard output closes it
// and then reports EIO, as a file system that reports a failed write only
// when the file is closed does. Built for the tests only.
#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int close(int fd) {
  const long r = syscall(SYS_close, fd);
  if (fd == STDOUT_FILENO && r == 0) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(r);
}
