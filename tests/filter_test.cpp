// The cycle carried across blocks: every starting position, reads of any
// size, and the stream loop's handling of failures.
#include "filter.hpp"
#include "pipes.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fourofsix {
namespace {

using testing::bytes;

std::vector<compact_fn> usable_kernels() {
  std::vector<compact_fn> ks;
  for (const auto &k : all_kernels())
    if (k.usable())
      ks.push_back(k.fn);
  return ks;
}

TEST(FilterBlock, ContinuesFromEveryPositionInTheCycle) {
  std::mt19937_64 rng(1);
  for (compact_fn k : usable_kernels()) {
    for (unsigned phase = 0; phase < 6; ++phase) {
      for (std::size_t n = 0; n <= 300; ++n) {
        bytes buf = testing::random_bytes(rng, n);
        const bytes want = testing::keep_four_of_six(buf.data(), n, phase);
        cycle c{phase};
        buf.resize(filter_block(k, buf.data(), n, c));
        ASSERT_EQ(buf, want) << "phase=" << phase << " n=" << n;
        ASSERT_EQ(c.phase, (phase + n) % 6);
      }
    }
  }
}

TEST(FilterBlock, RandomSplitsGiveTheSameBytesAsOneBlock) {
  std::mt19937_64 rng(2);
  for (compact_fn k : usable_kernels()) {
    for (int round = 0; round < 300; ++round) {
      const bytes src = testing::random_bytes(rng, static_cast<std::size_t>(rng() % 5000));
      bytes out;
      cycle c;
      for (std::size_t at = 0; at < src.size();) {
        // Mostly short pieces, sometimes long ones, like reads from a pipe.
        const std::size_t cap = rng() % 4 == 0 ? 2000 : 13;
        const std::size_t len =
            std::min(src.size() - at, static_cast<std::size_t>(rng() % cap + 1));
        bytes piece(src.begin() + static_cast<long>(at), src.begin() + static_cast<long>(at + len));
        piece.resize(filter_block(k, piece.data(), len, c));
        out.insert(out.end(), piece.begin(), piece.end());
        at += len;
      }
      ASSERT_EQ(out, testing::keep_four_of_six(src)) << "round " << round;
    }
  }
}

using testing::contents;
using testing::memfile;

TEST(FilterStream, AnyBufferSizeGivesTheDefinedOutput) {
  std::mt19937_64 rng(5);
  const bytes src = testing::random_bytes(rng, 10007);
  for (std::size_t bufsize : {1UL, 2UL, 5UL, 6UL, 7UL, 13UL, 64UL, 4096UL, 65536UL}) {
    const int in = memfile(src);
    ASSERT_GE(in, 0);
    const int out = memfd_create("out", MFD_CLOEXEC);
    bytes buf(bufsize);
    const run_result r = filter_stream(in, out, best_kernel(), buf.data(), bufsize, bufsize);
    EXPECT_EQ(r.how, outcome::end_of_input);
    EXPECT_TRUE(r.wrote);
    EXPECT_EQ(contents<bytes>(out), testing::keep_four_of_six(src)) << bufsize;
    close(in);
    close(out);
  }
}

TEST(FilterStream, ReportsWhichSideFailedAndWhy) {
  bytes buf(64);
  const int dir = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int sink = memfd_create("out", MFD_CLOEXEC);
  run_result r = filter_stream(dir, sink, best_kernel(), buf.data(), buf.size(), buf.size());
  EXPECT_EQ(r.how, outcome::read_failed);
  EXPECT_EQ(r.error, EISDIR);
  EXPECT_FALSE(r.wrote);

  // A descriptor open only for reading cannot take the output. The failed
  // write must end the run at once: the input is left unread behind it.
  const int in = memfile(bytes(1000, 'x'));
  ASSERT_GE(in, 0);
  const int readonly = open("/dev/null", O_RDONLY | O_CLOEXEC);
  r = filter_stream(in, readonly, best_kernel(), buf.data(), buf.size(), buf.size());
  EXPECT_EQ(r.how, outcome::write_failed);
  EXPECT_EQ(r.error, EBADF);
  EXPECT_EQ(lseek(in, 0, SEEK_CUR), 64) << "read on after a failed write";
  for (int fd : {dir, sink, in, readonly})
    close(fd);
}

TEST(FilterStream, MessageSocketsTakeWholeMessagesOrFailLoudly) {
  // Messages of every length up to the buffer are the next bytes of the
  // stream; the first longer one ends the run with EMSGSIZE, after all that
  // was kept before it, instead of being cut to the buffer's length.
  std::mt19937_64 rng(7);
  bytes buf(64);
  for (const int type : {SOCK_SEQPACKET, SOCK_DGRAM}) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, sv), 0);
    bytes sent;
    for (std::size_t len = 1; len <= buf.size(); len += 9) {
      const bytes m = testing::random_bytes(rng, len);
      ASSERT_EQ(send(sv[0], m.data(), len, 0), static_cast<ssize_t>(len));
      sent.insert(sent.end(), m.begin(), m.end());
    }
    const bytes too_long(buf.size() + 1, 'x');
    ASSERT_EQ(send(sv[0], too_long.data(), too_long.size(), 0), 65);
    // An end after it, so that a reader which lets it through stops.
    ASSERT_EQ(testing::end_messages(sv[0], type), 0);
    const int out = memfd_create("out", MFD_CLOEXEC);
    const run_result r =
        filter_stream(sv[1], out, best_kernel(), buf.data(), buf.size(), buf.size());
    EXPECT_EQ(r.how, outcome::read_failed) << type;
    EXPECT_EQ(r.error, EMSGSIZE) << type;
    EXPECT_EQ(contents<bytes>(out), testing::keep_four_of_six(sent)) << type;
    for (int fd : {sv[0], sv[1], out})
      close(fd);
  }
}

TEST(PipeMaxSize, NoContentOverflowsTheParsedNumber) {
  const long cap = 1L << 20;
  const struct {
    const char *text;
    long want;
  } cases[] = {
      {"1048576\n", 1L << 20},
      {"65536\n", 65536},
      {"0\n", 0},
      {"", 0},
      {"junk", 0},
      {"4096 trailing", 4096},
      {"99999999999999999999999999\n", cap}, // 26 digits
      {"9223372036854775808", cap},          // LONG_MAX + 1
  };
  for (const auto &c : cases)
    EXPECT_EQ(leading_number(c.text, cap), c.want) << c.text;
  EXPECT_EQ(leading_number("99999999999999999999999999", LONG_MAX / 10 - 1), LONG_MAX / 10 - 1);
}

TEST(Tuning, ExaminesFilesPastFourGiB) {
  // What the read-ahead advice is given on; past 4 GiB a build without
  // 64-bit file offsets cannot even fstat it. (ftruncate64: the size must
  // not depend on the off_t under test.)
  const int big = memfd_create("big", MFD_CLOEXEC);
  ASSERT_EQ(ftruncate64(big, (off64_t{5} << 30) + 3), 0);
  EXPECT_EQ(file_type(big), S_IFREG);
  close(big);
}

} // namespace
} // namespace fourofsix
