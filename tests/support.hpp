// Shared by the tests: the definition of the output, and random bytes.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace fourofsix::testing {

using bytes = std::vector<unsigned char>;

// The definition, one byte at a time: input position p (counted from the
// stream's start, which sits at cycle position `phase`) is kept when
// p mod 6 < 4.
inline bytes keep_four_of_six(const unsigned char *in, std::size_t n, unsigned phase = 0) {
  bytes out;
  for (std::size_t i = 0; i < n; ++i)
    if ((phase + i) % 6 < 4)
      out.push_back(in[i]);
  return out;
}

inline bytes keep_four_of_six(const bytes &in) { return keep_four_of_six(in.data(), in.size()); }

inline bytes random_bytes(std::mt19937_64 &rng, std::size_t n) {
  bytes b(n);
  for (auto &x : b)
    x = static_cast<unsigned char>(rng());
  return b;
}

} // namespace fourofsix::testing
