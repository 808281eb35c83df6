// Speed of each compaction kernel the CPU supports, in input bytes per
// second, on a block the size the tool reads and on one that fits in L1.
#include "compact.hpp"
#include "config.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void run_kernel(benchmark::State &state, fourofsix::compact_fn k) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<unsigned char> in(n);
  std::vector<unsigned char> out(n);
  std::mt19937 rng(1);
  for (auto &b : in)
    b = static_cast<unsigned char>(rng());
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(k(in.data(), n, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(n));
}

const bool registered = [] {
  for (const auto &k : fourofsix::all_kernels())
    if (k.usable())
      benchmark::RegisterBenchmark(k.name, run_kernel, k.fn)
          ->Arg(16 << 10)
          ->Arg(static_cast<std::int64_t>(fourofsix::block_size));
  return true;
}();

} // namespace

BENCHMARK_MAIN();
