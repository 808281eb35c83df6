// Differential fuzz target: the fuzz input is a stream, cut into reads at
// points drawn from its own bytes; every kernel the CPU supports, and every
// kernel built against emulated intrinsics, carried across those reads, must
// give exactly what a one-byte-at-a-time filter gives. Any difference aborts.
#include "emulated_kernels.hpp"
#include "filter.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// The length of the read that starts at `at`: taken from the byte there, and
// scaled by the first byte so that both one-byte reads and reads of
// hundreds of bytes (long enough for the widest kernel) occur.
std::size_t read_length(const std::uint8_t *data, std::size_t size, std::size_t at) {
  const std::size_t scale = 1 + data[0] % 8;
  return std::min(size - at, 1 + data[at] * scale);
}

// Every kernel to compare, native ones the CPU can run and all emulated
// ones; the CPU does not change, so it is asked once, not per input.
const std::vector<fourofsix::kernel_info> &usable_kernels() {
  static const std::vector<fourofsix::kernel_info> kernels = [] {
    std::vector<fourofsix::kernel_info> v;
    for (const auto &set : {fourofsix::all_kernels(), fourofsix::emulated::all_kernels()})
      for (const auto &k : set)
        if (k.usable())
          v.push_back(k);
    return v;
  }();
  return kernels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::vector<unsigned char> want = fourofsix::testing::keep_four_of_six(data, size);
  std::vector<unsigned char> block;
  std::vector<unsigned char> got;
  for (const auto &k : usable_kernels()) {
    got.clear();
    fourofsix::cycle c;
    for (std::size_t at = 0; at < size;) {
      const std::size_t len = read_length(data, size, at);
      // A block of exactly the read's size, so a kernel touching a byte past
      // it trips AddressSanitizer.
      block.assign(data + at, data + at + len);
      block.resize(fourofsix::filter_block(k.fn, block.data(), len, c));
      got.insert(got.end(), block.begin(), block.end());
      at += len;
    }
    if (got != want)
      std::abort();
    // The kernel alone, out of place, over the whole input.
    std::vector<unsigned char> whole(want.size());
    if (k.fn(data, size, whole.data()) != want.size() || whole != want)
      std::abort();
  }
  return 0;
}
