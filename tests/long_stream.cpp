// Sends more than 4 GiB (past 2^32 bytes) through the executable and checks
// every output byte and the count on the fly, holding none of it: a counter
// that wraps at 32 bits, or any slip in the cycle, shows here. The input
// comes over a pipe, or with --file from a sparse in-memory file whose last
// MiB holds real bytes, which a build without 64-bit file offsets cannot
// even examine.
//
// usage: long_stream PATH-TO-fourofsix [--file] [BYTES]
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Byte at input position p; depends on the high bits of p too, so that a
// stream that restarted at 2^32 would differ.
unsigned char pattern(std::uint64_t p) {
  return static_cast<unsigned char>((p * 0x9E3779B97F4A7C15ULL) >> 56 ^ p >> 32);
}

// Writes the input's bytes from position `from` up to `total` to fd.
void feed(int fd, std::uint64_t from, std::uint64_t total) {
  std::vector<unsigned char> buf(1 << 20);
  for (std::uint64_t p = from; p < total;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), total - p));
    for (std::size_t i = 0; i < n; ++i)
      buf[i] = pattern(p + i);
    for (std::size_t off = 0; off < n;) {
      const ssize_t w = write(fd, buf.data() + off, n - off);
      if (w < 0 && errno == EINTR)
        continue;
      if (w <= 0)
        _exit(3);
      off += static_cast<std::size_t>(w);
    }
    p += n;
  }
}

} // namespace

int main(int argc, char **argv) {
  const bool from_file = argc > 2 && std::strcmp(argv[2], "--file") == 0;
  if (argc < 2 || argc > 3 + static_cast<int>(from_file)) {
    std::fprintf(stderr, "usage: long_stream PATH-TO-fourofsix [--file] [BYTES]\n");
    return 2;
  }
  const char *size = argv[from_file ? 3 : 2];
  const std::uint64_t total =
      size != nullptr ? std::strtoull(size, nullptr, 10) : (std::uint64_t{9} << 29) + 5;
  // Input positions before `data` are a hole: zero bytes.
  const std::uint64_t data = from_file && total > (1U << 20) ? total - (1U << 20) : 0;
  int out[2];
  if (pipe(out) != 0)
    return 2;
  int in = -1; // the tool's standard input
  pid_t feeder = -1;
  if (from_file) {
    // Sized and filled through 64-bit offsets, whatever off_t is here.
    in = memfd_create("long_stream", 0);
    if (in < 0 || ftruncate64(in, static_cast<off64_t>(total)) != 0 ||
        lseek64(in, static_cast<off64_t>(data), SEEK_SET) < 0)
      return 2;
    feed(in, data, total);
    lseek64(in, 0, SEEK_SET);
  } else {
    int p[2];
    if (pipe(p) != 0)
      return 2;
    feeder = fork();
    if (feeder == 0) {
      for (int fd : {p[0], out[0], out[1]})
        close(fd);
      feed(p[1], 0, total);
      _exit(0);
    }
    close(p[1]);
    in = p[0];
  }
  const pid_t tool = fork();
  if (tool == 0) {
    dup2(in, 0);
    dup2(out[1], 1);
    for (int fd : {in, out[0], out[1]})
      close(fd);
    char *const tool_argv[] = {argv[1], nullptr};
    execv(argv[1], tool_argv);
    _exit(127);
  }
  for (int fd : {in, out[1]})
    close(fd);

  std::vector<unsigned char> buf(1 << 20);
  std::uint64_t p = 0;    // input position of the next expected output byte
  std::uint64_t seen = 0; // output bytes checked
  for (;;) {
    const ssize_t n = read(out[0], buf.data(), buf.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[static_cast<std::size_t>(i)] != (p < data ? 0 : pattern(p))) {
        std::fprintf(stderr, "output byte %" PRIu64 " (input %" PRIu64 ") is wrong\n", seen, p);
        return 1;
      }
      ++seen;
      p += p % 6 == 3 ? 3 : 1; // after the fourth kept byte, skip two
    }
  }
  int tool_status = 0;
  int feeder_status = 0;
  waitpid(tool, &tool_status, 0);
  if (feeder > 0)
    waitpid(feeder, &feeder_status, 0);
  const std::uint64_t want = total / 6 * 4 + std::min<std::uint64_t>(total % 6, 4);
  std::printf("%" PRIu64 " bytes in, %" PRIu64 " out, %" PRIu64 " expected\n", total, seen, want);
  if (seen != want)
    return 1;
  if (!WIFEXITED(tool_status) || WEXITSTATUS(tool_status) != 0) {
    std::fprintf(stderr, "fourofsix ended with status %d\n", tool_status);
    return 1;
  }
  return WIFEXITED(feeder_status) && WEXITSTATUS(feeder_status) == 0 ? 0 : 1;
}
