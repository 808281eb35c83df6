// Every kernel the CPU supports, and every kernel again as its source built
// against emulated intrinsics, against the definition: all lengths up to a
// few hundred, every alignment within a cache line, in place and not, all
// byte values, and no access outside the given ranges.
#include "compact.hpp"
#include "compact_avx512vbmi.hpp"
#include "emulated_kernels.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace fourofsix {
namespace {

using testing::bytes;

} // namespace

// Test names and failure messages show the kernel by name.
void PrintTo(const kernel_info &k, std::ostream *os) { *os << k.name; }

namespace {

class Kernel : public ::testing::TestWithParam<kernel_info> {
protected:
  void SetUp() override {
    if (!GetParam().usable())
      GTEST_SKIP() << GetParam().name << " is not supported by this CPU";
  }
};

// Memory that ends right before an inaccessible page, so that a kernel which
// reads or writes even one byte past its range faults.
class guarded {
public:
  explicit guarded(std::size_t n) : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    len_ = (n + page_ - 1) / page_ * page_ + page_;
    auto *m = mmap(nullptr, len_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = static_cast<unsigned char *>(m);
    mprotect(base_ + len_ - page_, page_, PROT_NONE);
  }
  ~guarded() { munmap(base_, len_); }
  guarded(const guarded &) = delete;
  guarded &operator=(const guarded &) = delete;
  // Start of an n-byte range whose last byte is the last accessible one.
  unsigned char *tail(std::size_t n) { return base_ + len_ - page_ - n; }

private:
  std::size_t page_;
  std::size_t len_;
  unsigned char *base_;
};

TEST_P(Kernel, MatchesDefinitionForEveryLengthAndAlignment) {
  std::mt19937_64 rng(42);
  guarded in_mem(512);
  for (std::size_t n = 0; n <= 400; ++n) {
    for (std::size_t shift = 0; shift < 64; shift += 7) {
      const bytes src = testing::random_bytes(rng, n);
      const bytes want = testing::keep_four_of_six(src);
      // The input ends at the guard page, moved left by `shift`.
      unsigned char *in = in_mem.tail(n + shift);
      std::copy(src.begin(), src.end(), in);
      bytes out(want.size() + 64, 0xA5);
      const std::size_t got = GetParam().fn(in, n, out.data() + shift % 32);
      ASSERT_EQ(got, want.size()) << "n=" << n;
      ASSERT_TRUE(std::equal(want.begin(), want.end(), out.begin() + shift % 32))
          << "n=" << n << " shift=" << shift;
      for (std::size_t i = 0; i < out.size(); ++i)
        if (i < shift % 32 || i >= shift % 32 + got) {
          ASSERT_EQ(out[i], 0xA5) << "wrote outside its range, n=" << n;
        }
    }
  }
}

TEST_P(Kernel, WritesNothingPastTheKeptBytes) {
  std::mt19937_64 rng(7);
  guarded out_mem(512);
  for (std::size_t n = 0; n <= 300; ++n) {
    const bytes src = testing::random_bytes(rng, n);
    const bytes want = testing::keep_four_of_six(src);
    unsigned char *out = out_mem.tail(want.size());
    ASSERT_EQ(GetParam().fn(src.data(), n, out), want.size());
    ASSERT_TRUE(std::equal(want.begin(), want.end(), out)) << "n=" << n;
  }
}

TEST_P(Kernel, CompactsInPlaceAndBehindTheInput) {
  std::mt19937_64 rng(3);
  for (std::size_t back : {0UL, 1UL, 4UL, 5UL, 17UL, 63UL}) {
    for (std::size_t n = 0; n <= 300; n += 1) {
      bytes buf = testing::random_bytes(rng, back + n);
      const bytes want = testing::keep_four_of_six(buf.data() + back, n);
      const std::size_t got = GetParam().fn(buf.data() + back, n, buf.data());
      ASSERT_EQ(got, want.size());
      ASSERT_TRUE(std::equal(want.begin(), want.end(), buf.begin()))
          << "back=" << back << " n=" << n;
    }
  }
}

TEST_P(Kernel, CarriesEveryByteValueAtEveryPosition) {
  // Value v at input position p = 6 * v + k for each k: all 256 values pass
  // through each of the four kept slots and each dropped slot, and a kernel
  // that treats any value specially (sign, 0x80, 0xFF, NUL) shows it.
  bytes in;
  for (unsigned k = 0; k < 7; ++k)
    for (unsigned v = 0; v < 256; ++v)
      for (unsigned slot = 0; slot < 6; ++slot)
        in.push_back(static_cast<unsigned char>(slot == k % 6 ? v : 255 - v));
  bytes out(in.size());
  const std::size_t got = GetParam().fn(in.data(), in.size(), out.data());
  out.resize(got);
  EXPECT_EQ(out, testing::keep_four_of_six(in));
}

TEST_P(Kernel, MatchesScalarOnLargeBlocks) {
  std::mt19937_64 rng(11);
  const bytes src = testing::random_bytes(rng, (1 << 20) + 5);
  bytes want(src.size());
  bytes got(src.size());
  want.resize(compact_scalar(src.data(), src.size(), want.data()));
  got.resize(GetParam().fn(src.data(), src.size(), got.data()));
  EXPECT_EQ(got, want);
}

const auto kernel_name = [](const auto &p) { return std::string(p.param.name); };
INSTANTIATE_TEST_SUITE_P(AllBuiltIn, Kernel, ::testing::ValuesIn(all_kernels()), kernel_name);
INSTANTIATE_TEST_SUITE_P(Emulated, Kernel, ::testing::ValuesIn(emulated::all_kernels()),
                         kernel_name);

TEST(Avx512VbmiTable, PermutesNinetySixBytesIntoTheKeptSixtyFour) {
  // The permute's rule, on any CPU: index bit 6 picks the source, bits 0-5
  // the byte in it. Checks the table even where the kernel cannot run.
  std::mt19937_64 rng(9);
  const bytes in = testing::random_bytes(rng, 128);
  bytes out;
  for (unsigned char i : vbmi_permute_index)
    out.push_back((i & 64) != 0 ? in[64 + (i & 63U)] : in[i & 63U]);
  EXPECT_EQ(out, testing::keep_four_of_six(in.data(), 96));
}

TEST(Dispatch, PicksTheWidestUsableKernel) {
  compact_fn widest = nullptr;
  for (const auto &k : all_kernels())
    if (k.usable())
      widest = k.fn;
  EXPECT_EQ(best_kernel(), widest);
  EXPECT_EQ(all_kernels().front().fn, &compact_scalar);
  // Where a test preset names the kernel its emulated CPU must get (an
  // ARMv7 with NEON and one without), the feature check is proved both ways.
  if (const char *want = std::getenv("FOUROFSIX_EXPECT_KERNEL")) {
    const auto best = std::find_if(all_kernels().begin(), all_kernels().end(),
                                   [](const kernel_info &k) { return k.fn == best_kernel(); });
    ASSERT_NE(best, all_kernels().end());
    EXPECT_STREQ(best->name, want);
  }
}

} // namespace
} // namespace fourofsix
