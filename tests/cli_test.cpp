// The built executable as a child process over pipes, files and terminals:
// what a user of the command sees, including every failure it reports.
#include "config.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <iostream>
#include <linux/filter.h>
#include <linux/loop.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The test process must survive writing to a child that has gone.
const bool sigpipe_ignored = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();

struct pipe_pair {
  int r = -1;
  int w = -1;
  pipe_pair() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
      r = fds[0];
      w = fds[1];
    }
  }
};

#ifndef FOUROFSIX_UNDER_EMULATOR
// The tool, by descriptor, as a copy in memory that any user may run: a
// child that has become another user may reach neither the build folder by
// its path nor, under umask 077, the built file itself.
const int tool_fd = [] {
  const int file = open(FOUROFSIX_EXE, O_RDONLY | O_CLOEXEC);
  const int copy = memfd_create("fourofsix", MFD_CLOEXEC);
  char buf[65536];
  for (ssize_t n; (n = read(file, buf, sizeof buf)) > 0;)
    if (write(copy, buf, static_cast<std::size_t>(n)) != n)
      return -1;
  close(file);
  return fchmod(copy, 0755) == 0 ? copy : -1;
}();
#endif

// Starts the tool with fds[i] as its descriptor i; -1 leaves i closed.
// `preload`, if given, is a library preloaded into it; `before_exec`, if
// given, runs in the child just before the tool replaces it.
pid_t launch(std::array<int, 3> fds, const std::vector<std::string> &args = {},
             bool ignore_sigpipe = false, const char *preload = nullptr,
             const std::function<void()> &before_exec = {}) {
  std::vector<char *> argv{const_cast<char *>(FOUROFSIX_EXE)};
  for (const auto &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
    if (preload != nullptr) {
      // By descriptor, not by path: LD_PRELOAD splits at spaces, and the
      // build folder's path may have some.
      const int opened = open(preload, O_RDONLY);
      const int lib = fcntl(opened, F_DUPFD, 10); // clear of 0-2, set below
      close(opened);
      setenv("LD_PRELOAD", ("/proc/self/fd/" + std::to_string(lib)).c_str(), 1);
      // A sanitized tool insists on its runtime coming first.
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
    }
    for (int i = 0; i < 3; ++i) {
      if (fds[static_cast<std::size_t>(i)] < 0)
        close(i);
      else
        dup2(fds[static_cast<std::size_t>(i)], i);
    }
    if (before_exec)
      before_exec();
#ifdef FOUROFSIX_UNDER_EMULATOR
    execv(argv[0], argv.data());
#else
    // By descriptor: a child that has become another user may not be able
    // to reach the build folder by its path.
    execveat(tool_fd, "", argv.data(), environ, AT_EMPTY_PATH);
#endif
    _exit(127);
  }
  return pid;
}

struct ended {
  int status = -1; // as from waitpid
  double cpu_seconds = 0;
};

// Waits for pid; a child still running after `limit` is killed and fails
// the test, so a hang shows as a failure rather than a stuck suite.
ended finish(pid_t pid, std::chrono::milliseconds limit = 20s) {
  ended e;
  rusage ru{};
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (wait4(pid, &e.status, WNOHANG, &ru) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      wait4(pid, &e.status, 0, &ru);
      ADD_FAILURE() << "the tool did not end within " << limit.count() << " ms";
      break;
    }
    std::this_thread::sleep_for(1ms);
  }
  e.cpu_seconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                  static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  return e;
}

std::string drain(int fd) {
  std::string s;
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0)
      s.append(buf, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      return s;
  }
}

struct result {
  int status = -1;
  std::string out;
  std::string err;
};

bool exited_with(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

// Runs the tool with `input` on a pipe and collects both output streams.
result run_tool(const std::string &input, const std::vector<std::string> &args = {}) {
  pipe_pair in;
  pipe_pair out;
  pipe_pair err;
  const pid_t pid = launch({in.r, out.w, err.w}, args);
  close(in.r);
  close(out.w);
  close(err.w);
  fcntl(in.w, F_SETFL, O_NONBLOCK);
  result res;
  std::size_t sent = 0;
  if (input.empty())
    close(in.w);
  bool out_open = true;
  bool err_open = true;
  while (out_open || err_open) {
    std::vector<pollfd> p;
    if (sent < input.size())
      p.push_back({in.w, POLLOUT, 0});
    if (out_open)
      p.push_back({out.r, POLLIN, 0});
    if (err_open)
      p.push_back({err.r, POLLIN, 0});
    poll(p.data(), p.size(), -1);
    for (const auto &q : p) {
      if (q.revents == 0)
        continue;
      if (q.fd == in.w) {
        const ssize_t n = write(in.w, input.data() + sent, input.size() - sent);
        if (n > 0)
          sent += static_cast<std::size_t>(n);
        if (n < 0 || sent == input.size()) {
          sent = input.size();
          close(in.w);
        }
        continue;
      }
      char buf[65536];
      const ssize_t n = read(q.fd, buf, sizeof buf);
      std::string &to = q.fd == out.r ? res.out : res.err;
      if (n > 0)
        to.append(buf, static_cast<std::size_t>(n));
      else
        (q.fd == out.r ? out_open : err_open) = false;
    }
  }
  close(out.r);
  close(err.r);
  res.status = finish(pid).status;
  return res;
}

// The definition applied to a string.
std::string kept(const std::string &in) {
  const auto out = fourofsix::testing::keep_four_of_six(
      reinterpret_cast<const unsigned char *>(in.data()), in.size());
  return {out.begin(), out.end()};
}

std::string letters(char from, char to) {
  std::string s;
  for (char c = from; c <= to; ++c)
    s += c;
  return s;
}

struct io_case {
  const char *name;
  std::string in;
  std::string out;
};

TEST(Command, KeepsTheFirstFourOfEverySix) {
  const std::string ff(6, '\xff');
  const std::vector<io_case> cases{
      {"empty", "", ""},
      {"one byte", "a", "a"},
      {"four bytes", "abcd", "abcd"},
      {"five bytes", "abcde", "abcd"},
      {"six bytes", "abcdef", "abcd"},
      {"seven bytes", "abcdefg", "abcdg"},
      {"ten letters", letters('a', 'j'), "abcdghij"},
      {"twelve letters", letters('a', 'l'), "abcdghij"},
      {"lines are ordinary bytes", "ab\ncd\nef\n", "ab\ncef\n"},
      {"0xFF is data, not end of input", ff + "xy", std::string(4, '\xff') + "xy"},
      {"NUL bytes are copied", std::string("\0\0\0\0\0\0\0a", 8), std::string("\0\0\0\0\0a", 6)},
      {"nothing is appended", "abcdefgh", "abcdgh"},
  };
  for (const auto &c : cases) {
    const result r = run_tool(c.in);
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_TRUE(exited_with(r.status, 0)) << c.name;
  }
}

TEST(Command, IgnoresEveryArgument) {
  const std::vector<std::vector<std::string>> arg_sets{
      {"--help"}, {"--version"}, {"-n", "3"}, {"--", "file"}, {"/nonexistent"}, {""}};
  for (const auto &args : arg_sets) {
    const result r = run_tool("abcdefgh", args);
    EXPECT_EQ(r.out, "abcdgh") << args[0];
    EXPECT_EQ(r.err, "") << args[0];
    EXPECT_TRUE(exited_with(r.status, 0)) << args[0];
  }
}

TEST(Command, LargeInputKeepsThePattern) {
  std::string in(3'000'001, '\0');
  for (std::size_t i = 0; i < in.size(); ++i)
    in[i] = static_cast<char>(i * 7 / 3);
  const result r = run_tool(in);
  EXPECT_TRUE(r.out == kept(in)) << "output differs; " << r.out.size() << " bytes";
  EXPECT_TRUE(exited_with(r.status, 0));
}

// A new open file description of what fd is open on, as a second open(2)
// of the same path gives.
int reopen(int fd, int flags) {
  return open(("/proc/self/fd/" + std::to_string(fd)).c_str(), flags | O_CLOEXEC);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// A failure the user meets: the child's stdin and stdout (-1 for closed),
// and all it must then say and do.
struct failure_case {
  const char *name;
  int in;
  int out;
  bool ignore_sigpipe;
  const char *message; // the whole of standard error
  int code;            // exit status, or -signal
  // Run in the child before the tool starts: a limit, a denied call.
  std::function<void()> before_exec = {};
};

#ifndef FOUROFSIX_UNDER_EMULATOR // where they would reach the emulator instead
// From here on (and across exec) every fstat(2) and its kin and
// getsockopt(2), or with `seek` every lseek(2), on descriptor fd fails with
// EPERM, as under a seccomp profile that denies them. The filter compares syscall numbers of this
// build's own architecture only: the tool it starts is built alike.
void deny_on_fd(int fd, bool seek) {
  std::vector<long> calls;
  if (seek) {
    calls.push_back(__NR_lseek);
#ifdef __NR__llseek
    calls.push_back(__NR__llseek);
#endif
  } else {
    calls.push_back(__NR_statx);
#ifdef __NR_getsockopt
    calls.push_back(__NR_getsockopt);
#endif
#ifdef __NR_fstat
    calls.push_back(__NR_fstat);
#endif
#ifdef __NR_fstat64
    calls.push_back(__NR_fstat64);
#endif
#ifdef __NR_newfstatat
    calls.push_back(__NR_newfstatat);
#endif
#ifdef __NR_fstatat64
    calls.push_back(__NR_fstatat64);
#endif
  }
  // The low half of the first argument, the descriptor.
  const unsigned arg0 =
      offsetof(seccomp_data, args) + (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0);
  std::vector<sock_filter> f{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  for (std::size_t i = 0; i < calls.size(); ++i) // a match jumps to the descriptor test
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(calls[i]),
                         static_cast<unsigned char>(calls.size() - i), 0));
  f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, arg0));
  f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(fd), 0, 1));
  f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
  f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  const sock_fprog prog{static_cast<unsigned short>(f.size()), f.data()};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
    _exit(126);
}

std::function<void()> limited(int resource, rlim_t bytes) {
  return [=] {
    const rlimit r{bytes, bytes};
    if (setrlimit(resource, &r) != 0)
      _exit(126);
  };
}
#endif

// A loop device over an in-memory file holding `content`, open for reading
// and writing; fd is -1 where none can be had (not root, no loop driver).
struct loop_device {
  int backing = -1;
  int fd = -1;
  explicit loop_device(const std::string &content) : backing(fourofsix::testing::memfile(content)) {
    const int ctl = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int n = ctl < 0 ? -1 : ioctl(ctl, LOOP_CTL_GET_FREE);
    fd = n < 0 ? -1 : open(("/dev/loop" + std::to_string(n)).c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0 && ioctl(fd, LOOP_SET_FD, backing) != 0) { // taken meanwhile
      close(fd);
      fd = -1;
    }
    close(ctl);
  }
  ~loop_device() {
    if (fd >= 0)
      ioctl(fd, LOOP_CLR_FD);
    close(fd);
    close(backing);
  }
};

TEST(Command, ReportsEachFailureInOneLine) {
  const int zero = open("/dev/zero", O_RDONLY | O_CLOEXEC);
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  const int dir = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int null_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const int empty = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pipe_pair broken; // its read end is closed: writes get EPIPE or SIGPIPE
  close(broken.r);
  // One regular file on both sides, as `< f >> f`, `1<> f` and `<> f >&0`
  // give. Where the output could overtake the input nothing may move.
  const std::string text = "abcdefghij";
  const int file = fourofsix::testing::memfile(text);
  const int appended = reopen(file, O_WRONLY | O_APPEND);
  const int ahead = reopen(file, O_WRONLY);
  lseek(ahead, 1, SEEK_SET);
  const int in_place = fourofsix::testing::memfile(text);
  const int behind = reopen(in_place, O_WRONLY);
  const int drained = fourofsix::testing::memfile(text);
  lseek(drained, 0, SEEK_END);
  const int drained_appended = reopen(drained, O_WRONLY | O_APPEND);
  // Where a file system reports a size of 0 for a file that is not empty,
  // "all of it read" cannot be told from the size.
  const int nothing = fourofsix::testing::memfile(std::string());
  const int nothing_appended = reopen(nothing, O_WRONLY | O_APPEND);
  pipe_pair ended_pipe;
  close(ended_pipe.w);
  const char *const same = "fourofsix: standard input is the output file\n";
  const char *const no_space = "fourofsix: write error: No space left on device\n";
  std::vector<failure_case> cases{
      {"full device", zero, full, false, no_space, 1},
      {"closed stdout", zero, -1, false, "fourofsix: write error: Bad file descriptor\n", 1},
      {"closed stdout, nothing to write", empty, -1, false, "", 0},
      {"directory as input", dir, null_out, false, "fourofsix: read error: Is a directory\n", 1},
      {"closed stdin reads as empty", -1, null_out, false, "", 0},
      {"broken pipe, SIGPIPE ignored", zero, broken.w, true,
       "fourofsix: write error: Broken pipe\n", 1},
      {"broken pipe, SIGPIPE inherited", zero, broken.w, false, "", -SIGPIPE},
      {"same file, appended to", file, appended, false, same, 1},
      {"same file, written ahead of the reading", file, ahead, false, same, 1},
      {"same file, one offset for both", file, file, false, same, 1},
      {"same file, written behind the reading", in_place, behind, false, "", 0},
      {"same file, appended to, all of it read", drained, drained_appended, false, "", 0},
      {"same file whose size reads 0, appended to", nothing, nothing_appended, false, same, 1},
  };
  // Where the tool runs under an emulator, limits and seccomp filters would
  // reach the emulator instead.
#ifndef FOUROFSIX_UNDER_EMULATOR
  const char *const untold =
      "fourofsix: cannot tell whether standard input is the output file: Operation not permitted\n";
  cases.insert(cases.end(), {
                                {"same file, its fstat denied on input", file, appended, false,
                                 untold, 1, [] { deny_on_fd(0, false); }},
                                {"same file, its fstat denied on output", file, appended, false,
                                 untold, 1, [] { deny_on_fd(1, false); }},
                                {"same file, its lseek denied on input", file, appended, false,
                                 untold, 1, [] { deny_on_fd(0, true); }},
                                {"device input, its fstat denied", zero, full, false, untold, 1,
                                 [] { deny_on_fd(0, false); }},
                                {"pipe input, its fstat denied", ended_pipe.r, full, false, "", 0,
                                 [] { deny_on_fd(0, false); }},
                            });
  // A smaller buffer, not a silent death, under a tight data limit; the
  // sanitizers' runtime alone needs more.
  if (!sanitized) {
    cases.push_back(
        {"data limit of 1 MiB", zero, full, false, no_space, 1, limited(RLIMIT_DATA, 1 << 20)});
    cases.push_back(
        {"data limit of 256 KiB", zero, full, false, no_space, 1, limited(RLIMIT_DATA, 256 << 10)});
  }
#endif
  // Two device nodes of one disk have two inodes: block devices compare by
  // device number.
  const loop_device disk(std::string(4096, 'x'));
  if (disk.fd >= 0)
    cases.push_back({"same block device, one offset for both", disk.fd, disk.fd, false, same, 1});
  else
    std::cout << "not run without a loop device: same block device\n";
  for (const auto &c : cases) {
    pipe_pair err;
    const pid_t pid = launch({c.in, c.out, err.w}, {}, c.ignore_sigpipe, nullptr, c.before_exec);
    close(err.w);
    const std::string message = drain(err.r);
    close(err.r);
    // An endless input must not keep it running once writing has failed.
    const ended e = finish(pid, 5s);
    EXPECT_EQ(message, c.message) << c.name;
    if (c.code >= 0)
      EXPECT_TRUE(exited_with(e.status, c.code)) << c.name << ": status " << e.status;
    else
      EXPECT_TRUE(WIFSIGNALED(e.status) && WTERMSIG(e.status) == -c.code) << c.name;
  }
  EXPECT_EQ(fourofsix::testing::contents<std::string>(file), text);
  EXPECT_EQ(fourofsix::testing::contents<std::string>(in_place), "abcdghijij");
  if (disk.fd >= 0) {
    EXPECT_EQ(fourofsix::testing::contents<std::string>(disk.backing), std::string(4096, 'x'));
  }
  for (int fd : {zero, full, dir, null_out, empty, broken.w, file, appended, ahead, in_place,
                 behind, drained, drained_appended, nothing, nothing_appended, ended_pipe.r})
    close(fd);
}

// Standard input as a message socket. The messages are sent while the tool
// runs, then the end: a shutdown for sequenced packets, an empty datagram
// for datagrams (whose peer sees no end otherwise).
struct message_case {
  const char *name;
  int type;
  std::vector<std::size_t> sizes; // of the messages, in order
  std::size_t whole;              // how many of them the tool takes
  std::function<void()> before_exec = {};
};

TEST(Command, MessageSocketsLoseNoTailUnnoticed) {
  constexpr std::size_t most = fourofsix::block_size;
  std::vector<std::size_t> many;
  for (std::size_t i = 0; i < 200; ++i)
    many.push_back(i * 7919 % 30000 + 1);
  std::vector<message_case> cases{
      {"sequenced packets that fit", SOCK_SEQPACKET, many, many.size()},
      {"datagrams that fit", SOCK_DGRAM, many, many.size()},
      {"a sequenced packet of the largest size", SOCK_SEQPACKET, {5, most, 7}, 3},
      {"a sequenced packet longer than one receive", SOCK_SEQPACKET, {8, most + 1, 3}, 1},
      {"a datagram longer than one receive", SOCK_DGRAM, {8, 1000, most + 1, 3}, 2},
  };
#ifndef FOUROFSIX_UNDER_EMULATOR
  cases.push_back({"a datagram longer than one receive, the socket's type not to be asked",
                   SOCK_DGRAM,
                   {8, most + 1, 3},
                   1,
                   [] { deny_on_fd(0, false); }});
#endif
  std::mt19937_64 rng(11);
  for (const auto &c : cases) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, c.type | SOCK_CLOEXEC, 0, sv), 0);
    // Only a privileged sender may queue a message larger than the tool's
    // read; an unprivileged run checks what it can and says so.
    const int sndbuf = 4 * static_cast<int>(most);
    if (setsockopt(sv[0], SOL_SOCKET, SO_SNDBUFFORCE, &sndbuf, sizeof sndbuf) != 0 &&
        *std::max_element(c.sizes.begin(), c.sizes.end()) > 200'000) {
      std::cout << "not run without CAP_NET_ADMIN: " << c.name << "\n";
      close(sv[0]);
      close(sv[1]);
      continue;
    }
    const int out = memfd_create("out", MFD_CLOEXEC);
    pipe_pair err;
    const pid_t pid = launch({sv[1], out, err.w}, {}, false, nullptr, c.before_exec);
    close(sv[1]);
    close(err.w);
    std::string taken;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      const auto m = fourofsix::testing::random_bytes(rng, c.sizes[i]);
      // Once the tool has refused a message it is gone: later sends fail.
      if (send(sv[0], m.data(), m.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(m.size())) {
        ASSERT_GT(i, c.whole) << c.name;
      }
      if (i < c.whole)
        taken.append(m.begin(), m.end());
    }
    fourofsix::testing::end_messages(sv[0], c.type);
    const bool loud = c.whole < c.sizes.size();
    EXPECT_EQ(drain(err.r), loud ? "fourofsix: read error: Message too long\n" : "") << c.name;
    EXPECT_TRUE(exited_with(finish(pid).status, loud ? 1 : 0)) << c.name;
    const auto got = fourofsix::testing::contents<std::string>(out);
    EXPECT_TRUE(got == kept(taken)) << c.name << ": " << got.size() << " bytes out";
    for (int fd : {sv[0], out, err.r})
      close(fd);
  }
}

TEST(Command, MessageSocketsAsOutputGetEveryByte) {
  // A kept block of a 1 MiB read is larger than a message a socket with the
  // default buffer takes; the bytes must arrive all the same, in order.
  std::mt19937_64 rng(13);
  const auto bytes = fourofsix::testing::random_bytes(rng, 3 * fourofsix::block_size + 5);
  const std::string input(bytes.begin(), bytes.end());
  for (const int type : {SOCK_SEQPACKET, SOCK_DGRAM}) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, sv), 0);
    const int in = fourofsix::testing::memfile(input);
    ASSERT_GE(in, 0);
    pipe_pair err;
    const pid_t pid = launch({in, sv[1], err.w});
    close(sv[1]);
    close(err.w);
    // Until the tool has written every kept byte; a datagram socket shows
    // no end when its peer closes.
    const std::string want = kept(input);
    std::string got;
    std::vector<char> buf(4 << 20);
    while (got.size() < want.size()) {
      pollfd p{sv[0], POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0)
        break;
      const ssize_t n = recv(sv[0], buf.data(), buf.size(), 0);
      if (n <= 0)
        break;
      got.append(buf.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(drain(err.r), "") << type;
    EXPECT_TRUE(exited_with(finish(pid).status, 0)) << type;
    EXPECT_TRUE(got == want) << type << ": " << got.size() << " of " << want.size() << " bytes";
    for (int fd : {sv[0], in, err.r})
      close(fd);
  }
}

TEST(Command, WaitsWithoutSpinningWhereReadinessAndWriteDisagree) {
  // A non-blocking eventfd whose counter is nearly full polls writable, yet
  // refuses the value that the kept bytes add up to until it is read.
  const int efd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  const std::uint64_t nearly_full = 0xfffffffffffffff0;
  ASSERT_EQ(write(efd, &nearly_full, 8), 8);
  pipe_pair in;
  const pid_t pid = launch({in.r, efd, STDERR_FILENO});
  close(in.r);
  ASSERT_EQ(write(in.w, std::string(12, '\x01').data(), 12), 12); // 8 kept
  close(in.w);
  std::this_thread::sleep_for(1500ms);
  std::uint64_t value = 0;
  ASSERT_EQ(read(efd, &value, 8), 8);
  EXPECT_EQ(value, nearly_full) << "written while it could not be";
  const ended e = finish(pid);
  EXPECT_TRUE(exited_with(e.status, 0));
  ASSERT_EQ(read(efd, &value, 8), 8);
  EXPECT_EQ(value, 0x0101010101010101U) << "the kept bytes, once it could write";
  // 1.5 s of waiting; a loop of poll and write would burn nearly all of it.
  EXPECT_LT(e.cpu_seconds, 0.3);
  close(efd);
}

// A pseudo-terminal pair; the test plays the terminal's user on `master`.
struct pty {
  int master = -1;
  int slave = -1;
  pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
};

TEST(Command, WritesWhatWasKeptBeforeAReadError) {
  // Once the terminal side of a pty is gone, reading the other side fails
  // with EIO after the bytes already sent: a read error in mid-stream. When
  // closing standard output then fails as well, both are reported, the
  // first failure first.
  const struct {
    const char *name;
    const char *preload;
    const char *message;
  } cases[] = {
      {"read error", nullptr, "fourofsix: read error: Input/output error\n"},
#ifdef FOUROFSIX_FAIL_CLOSE
      {"read error, then a failed close", FOUROFSIX_FAIL_CLOSE,
       "fourofsix: read error: Input/output error\n"
       "fourofsix: write error: Input/output error\n"},
#endif
  };
  for (const auto &c : cases) {
    pty t;
    termios raw{};
    tcgetattr(t.slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(t.slave, TCSANOW, &raw);
    ASSERT_EQ(write(t.slave, "abcdefghij", 10), 10);
    tcdrain(t.slave);
    close(t.slave);
    pipe_pair out;
    pipe_pair err;
    const pid_t pid = launch({t.master, out.w, err.w}, {}, false, c.preload);
    close(out.w);
    close(err.w);
    EXPECT_EQ(drain(out.r), "abcdghij") << c.name;
    EXPECT_EQ(drain(err.r), c.message) << c.name;
    EXPECT_TRUE(exited_with(finish(pid).status, 1)) << c.name;
    for (int fd : {t.master, out.r, err.r})
      close(fd);
  }
}

TEST(Command, AtATerminalTheFirstEndOfFileEndsTheRun) {
  // "ab" then end-of-file mid-line is a short read, not the end; the next
  // end-of-file, on an empty line, is. What is typed after it stays unread.
  pty t;
  const std::string typed = std::string("ab") + "\x04" + "\x04" + "xyz\n";
  ASSERT_EQ(write(t.master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  pipe_pair out;
  const pid_t pid = launch({t.slave, out.w, STDERR_FILENO});
  close(out.w);
  EXPECT_EQ(drain(out.r), "ab");
  EXPECT_TRUE(exited_with(finish(pid).status, 0));
  char rest[16] = {};
  EXPECT_EQ(read(t.slave, rest, sizeof rest), 4);
  EXPECT_STREQ(rest, "xyz\n");
  for (int fd : {t.master, t.slave, out.r})
    close(fd);
}

// Reads from fd until `want` bytes have come or `limit` passes.
std::string read_for(int fd, std::size_t want, std::chrono::milliseconds limit) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0)
      continue;
    char buf[256];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0)
      break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

TEST(Command, KeptBytesArriveWhileTheInputIsStillOpen) {
  pipe_pair in;
  pipe_pair out;
  const pid_t pid = launch({in.r, out.w, STDERR_FILENO});
  close(in.r);
  close(out.w);
  ASSERT_EQ(write(in.w, "abcdefgh", 8), 8);
  EXPECT_EQ(read_for(out.r, 6, 5s), "abcdgh");
  // The cycle goes on where it stopped: positions 8-9 kept, 10-11 dropped.
  ASSERT_EQ(write(in.w, "ijklmn", 6), 6);
  EXPECT_EQ(read_for(out.r, 4, 5s), "ijmn");
  close(in.w);
  EXPECT_EQ(drain(out.r), "");
  EXPECT_TRUE(exited_with(finish(pid).status, 0));
  close(out.r);
}

TEST(Command, NonBlockingInputIsWaitedForWithoutSpinning) {
  pipe_pair in;
  pipe_pair out;
  fcntl(in.r, F_SETFL, O_NONBLOCK); // as another process sharing it might
  const pid_t pid = launch({in.r, out.w, STDERR_FILENO});
  close(in.r);
  close(out.w);
  std::string sent;
  for (int i = 0; i < 30; ++i) {
    const std::string chunk = std::to_string(i * 7919) + "|";
    ASSERT_EQ(write(in.w, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    sent += chunk;
    std::this_thread::sleep_for(20ms);
  }
  close(in.w);
  EXPECT_EQ(drain(out.r), kept(sent));
  const ended e = finish(pid);
  EXPECT_TRUE(exited_with(e.status, 0));
  // 0.6 s of waiting; a busy loop would burn nearly all of it.
  EXPECT_LT(e.cpu_seconds, 0.15);
  close(out.r);
}

TEST(Command, NonBlockingOutputIsWaitedForWithoutSpinning) {
  // Fed faster than it is drained, the tool meets a full non-blocking pipe.
  std::string input(4 << 20, '\0');
  for (std::size_t i = 0; i < input.size(); ++i)
    input[i] = static_cast<char>(i % 251);
  const int in = fourofsix::testing::memfile(input);
  ASSERT_GE(in, 0);
  pipe_pair out;
  fcntl(out.w, F_SETFL, O_NONBLOCK);
  const pid_t pid = launch({in, out.w, STDERR_FILENO});
  close(out.w);
  std::string got;
  char buf[32768];
  for (;;) {
    const ssize_t n = read(out.r, buf, sizeof buf);
    if (n <= 0)
      break;
    got.append(buf, static_cast<std::size_t>(n));
    std::this_thread::sleep_for(3ms);
  }
  EXPECT_TRUE(got == kept(input)) << "output differs; " << got.size() << " bytes";
  const ended e = finish(pid);
  EXPECT_TRUE(exited_with(e.status, 0));
  EXPECT_LT(e.cpu_seconds, 0.15);
  close(in);
  close(out.r);
}

long read_number(const char *path) {
  FILE *f = fopen(path, "re");
  long v = 0;
  if (f != nullptr) {
    if (fscanf(f, "%ld", &v) != 1)
      v = 0;
    fclose(f);
  }
  return v;
}

long fs_limit(const char *name) {
  return read_number((std::string("/proc/sys/fs/") + name).c_str());
}

// Runs `check` in a child process, which, with `alone` and where the tests
// run as root, has become a user of its own with no capabilities: one whom
// the pipe quota binds and whose pipes are only the child's. Returns the
// child's status: the check's result, 125 where it found its premise
// unmet, 126 where root could not become that user.
int in_child(bool alone, const std::function<int()> &check) {
  const pid_t child = fork();
  if (child == 0) {
    const uid_t uid = 0x40000000U + static_cast<uid_t>(getpid()); // unique while it runs
    if (alone && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0))
      _exit(126);
    _exit(check());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

// Whether this process holds what exempts it from the pipe quota:
// CAP_SYS_RESOURCE or CAP_SYS_ADMIN, in the initial user namespace.
bool quota_exempt() {
  FILE *f = fopen("/proc/self/status", "re");
  unsigned long long caps = 0;
  char line[256];
  while (f != nullptr && fgets(line, sizeof line, f) != nullptr &&
         sscanf(line, "CapEff: %llx", &caps) != 1)
    ;
  if (f != nullptr)
    fclose(f);
  struct stat ns {};
  return (caps & (1ULL << 21 | 1ULL << 24)) != 0 && stat("/proc/self/ns/user", &ns) == 0 &&
         ns.st_ino == 0xEFFFFFFDU;
}

// The size of a pipe of `have` bytes once the tool, in a run that grows
// `pipes` pipes, has grown it, worked out as the kernel grants it: the
// kernel rounds a size up to a power of two, so a goal between two must be
// rounded down to stay within the share.
long grown(long have, int pipes, bool bound) {
  const long soft = fs_limit("pipe-user-pages-soft");
  const long hard = fs_limit("pipe-user-pages-hard");
  const long quota = soft == 0 || (hard != 0 && hard < soft) ? hard : soft;
  long goal = std::min(1L << 20, fs_limit("pipe-max-size"));
  if (bound && quota != 0)
    goal = std::min(goal, quota * sysconf(_SC_PAGESIZE) / fourofsix::pipe_quota_share / pipes);
  return std::max(
      have, goal <= 0 ? 0 : static_cast<long>(std::bit_floor(static_cast<unsigned long>(goal))));
}

struct growth_case {
  const char *name;
  bool file_input; // else a pipe, so two pipes share the run's share
  bool bound;      // by the quota, as a user of its own; else exempt from it
  bool big;        // the output pipe already larger than any goal
};

// The sizes of the pipes a run was given against those it should have
// been: 0 when they match, 125 where a larger pipe cannot be made. Run in
// a child, so it says why.
int check_growth(const growth_case &c) {
  pipe_pair in;
  pipe_pair out;
  const int file = fourofsix::testing::memfile(std::string());
  if (c.big && fcntl(out.w, F_SETPIPE_SZ, 2 << 20) != 2 << 20)
    return 125;
  const long had[2] = {fcntl(in.r, F_GETPIPE_SZ), fcntl(out.w, F_GETPIPE_SZ)};
  const pid_t pid = launch({c.file_input ? file : in.r, out.w, STDERR_FILENO});
  close(in.w);
  if (!exited_with(finish(pid).status, 0))
    return 1;
  const long has[2] = {fcntl(in.r, F_GETPIPE_SZ), fcntl(out.w, F_GETPIPE_SZ)};
  const int pipes = c.file_input ? 1 : 2;
  const long want[2] = {c.file_input ? had[0] : grown(had[0], pipes, c.bound),
                        grown(had[1], pipes, c.bound)};
  if (has[0] == want[0] && has[1] == want[1])
    return 0;
  std::cerr << c.name << ": pipes of " << had[0] << " and " << had[1] << " bytes grew to " << has[0]
            << " and " << has[1] << ", not " << want[0] << " and " << want[1] << "\n";
  return 1;
}

TEST(Command, GrowsItsPipesToItsShareButNeverShrinksThem) {
  const growth_case cases[] = {
      {"pipe to pipe, a user the quota binds", false, true, false},
      {"file into a pipe, a user the quota binds", true, true, false},
      {"pipe to pipe, exempt from the quota", false, false, false},
      {"a pipe larger than the goal, exempt from the quota", false, false, true},
  };
  for (const auto &c : cases) {
#ifdef FOUROFSIX_UNDER_EMULATOR
    if (c.bound && geteuid() == 0) { // root could not reach the launcher as another user
      std::cout << "not run under the emulator as root: " << c.name << "\n";
      continue;
    }
#endif
    if (!c.bound && !quota_exempt()) {
      std::cout << "not run without CAP_SYS_RESOURCE or CAP_SYS_ADMIN: " << c.name << "\n";
      continue;
    }
    const int status = in_child(c.bound, [&] { return check_growth(c); });
    if (exited_with(status, 125) || exited_with(status, 126))
      std::cout << "not run here (no larger pipe, or no other user): " << c.name << "\n";
    else
      EXPECT_TRUE(exited_with(status, 0)) << c.name;
  }
}

// The smallest pipe the user gets while `runs` runs of the tool start one
// after another, each in a pipeline of two new pipes that it grows; 0 if a
// run did not come up.
int smallest_pipe_during(int runs) {
  std::vector<int> inputs;
  std::vector<pid_t> pids;
  int smallest = INT_MAX;
  for (int i = 0; i < runs; ++i) {
    const pipe_pair in;
    const pipe_pair out;
    smallest = std::min({smallest, fcntl(in.w, F_GETPIPE_SZ), fcntl(out.w, F_GETPIPE_SZ)});
    pids.push_back(launch({in.r, out.w, STDERR_FILENO}));
    inputs.push_back(in.w);
    // A byte back from it: by then it has grown its pipes.
    if (write(in.w, "x", 1) != 1 || read_for(out.r, 1, 30s) != "x")
      smallest = 0;
  }
  const pipe_pair last;
  smallest = std::min(smallest, fcntl(last.w, F_GETPIPE_SZ));
  for (std::size_t i = 0; i < pids.size(); ++i) {
    close(inputs[i]);
    waitpid(pids[i], nullptr, 0);
  }
  return smallest;
}

TEST(Command, ManyRunsLeaveTheUsersOtherPipesTheirDefaultSize) {
#ifdef FOUROFSIX_UNDER_EMULATOR
  GTEST_SKIP() << "the emulator's own pipes would count against the quota";
#endif
  const long quota = fs_limit("pipe-user-pages-soft");
  if (quota == 0)
    GTEST_SKIP() << "no pipe quota here";
  const int status = in_child(true, [] {
    const pipe_pair before;
    const int usual = fcntl(before.w, F_GETPIPE_SZ);
    // 64 pipelines of two pipes, the next new pipe and a few of the test
    // runner's own must fit at the default size, or no program's do.
    if (fs_limit("pipe-user-pages-soft") * sysconf(_SC_PAGESIZE) < (2 * 64 + 8) * long{usual}) {
      std::cerr << "64 pipelines of " << usual << "-byte pipes do not fit in the quota\n";
      return 125;
    }
    const int smallest = smallest_pipe_during(64);
    std::cerr << "new pipes: " << usual << " bytes before 64 runs, " << smallest
              << " at least during\n";
    return smallest == usual ? 0 : 1;
  });
  if (exited_with(status, 126))
    GTEST_SKIP() << "root cannot become another user here";
  if (exited_with(status, 125))
    GTEST_SKIP() << "the quota of " << quota << " pages is too small for 64 pipelines";
  EXPECT_TRUE(exited_with(status, 0)) << "status " << status;
}

// The peak resident KiB of the running process pid (VmHWM): its own since
// it started the tool, unlike ru_maxrss, which carries the forking test
// process's peak into the child. -1 if it cannot be read.
long peak_kib(pid_t pid) {
  FILE *f = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "re");
  long kib = -1;
  char line[256];
  while (f != nullptr && fgets(line, sizeof line, f) != nullptr)
    if (sscanf(line, "VmHWM: %ld kB", &kib) == 1)
      break;
  if (f != nullptr)
    fclose(f);
  return kib;
}

TEST(Command, PeakMemoryDoesNotGrowWithTheInput) {
  if (sanitized)
    GTEST_SKIP() << "the sanitizer runtime's own memory hides the tool's";
  // Both inputs fill the read buffer many times, so what differs between
  // them is only what grows with the input. What the loader maps varies by
  // a few hundred KiB from run to run, so each size counts its least peak
  // over three runs.
  const off_t sizes[2] = {off_t{64} << 20, off_t{1} << 30};
  long rss[2] = {LONG_MAX, LONG_MAX};
  for (int i = 0; i < 2; ++i) {
    for (int run = 0; run < 3; ++run) {
      // A sparse in-memory file: 1 GiB to read that costs no memory to hold.
      const int in = memfd_create("input", MFD_CLOEXEC);
      ASSERT_EQ(ftruncate(in, sizes[i]), 0);
      pipe_pair out;
      const pid_t pid = launch({in, out.w, STDERR_FILENO});
      close(out.w);
      // All but the last 2 MiB of output, more than its pipe holds: the
      // tool is still running then, blocked on writing them, with all but
      // its last few reads behind it.
      const off_t want = sizes[i] / 6 * 4 + std::min<off_t>(sizes[i] % 6, 4);
      off_t got = 0;
      std::vector<char> buf(1 << 20);
      for (ssize_t n = 1; n > 0 && got < want - (2 << 20); got += n)
        n = std::max<ssize_t>(read(out.r, buf.data(), buf.size()), 0);
      rss[i] = std::min(rss[i], peak_kib(pid));
      EXPECT_EQ(got + static_cast<off_t>(drain(out.r).size()), want);
      EXPECT_TRUE(exited_with(finish(pid, 120s).status, 0));
      close(in);
      close(out.r);
    }
  }
  ASSERT_GT(rss[0], 0) << "no VmHWM in /proc/PID/status";
#ifndef FOUROFSIX_UNDER_EMULATOR // whose own memory is most of the child's
  EXPECT_LE(rss[1], 4096) << "peak resident KiB for 1 GiB";
#endif
  // 960 more reads of 1 MiB: keeping even 1 KiB per read would add 960 KiB.
  EXPECT_LE(rss[1] - rss[0], 512) << "KiB: 64 MiB " << rss[0] << ", 1 GiB " << rss[1];
}

} // namespace
