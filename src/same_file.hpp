// Refusing to run where the output would feed back into the input.
#pragma once

namespace fourofsix {

// What comparing standard input with standard output found.
enum class overlap {
  none,      // the output cannot reach input that is still to be read
  overtakes, // it could: the run would read its own output or lose input
  unknown,   // a call needed to tell failed; errno says why
};

// Whether writing the kept bytes to `out` could change what is still to be
// read from `in`: both reach the same data (one regular file, or one block
// device through any of its device nodes), there is input left to read, and
// the writes would land at or ahead of the read position (the output
// appends, starts past the input's position, or shares its file offset, as
// after `<> f >&0`).
//
// Writing behind the read position through a separate offset (`< f 1<> f`)
// is allowed: four bytes are written for every six read, so the output
// never overtakes the input. So is anything else (pipes, terminals,
// sockets, character devices), an input with nothing left, and a closed
// output; but an input whose size reads 0 is not taken to be used up. When
// a call the answer depends on fails (a seccomp profile that denies
// fstat(2), say), the answer is `unknown`, never `none`: the caller must
// then refuse as well. An input that cannot be sought is a stream, and
// needs no fstat(2) to tell.
overlap compare_ends(int in, int out);

} // namespace fourofsix
