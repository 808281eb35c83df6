// Refusing to run where the output would feed back into the input.
#pragma once

namespace fourofsix {

// Whether writing the kept bytes to `out` could change what is still to be
// read from `in`: both name the same regular file, there is input left to
// read, and the writes would land at or ahead of the read position (the
// output appends, starts past the input's position, or shares its file
// offset, as after `<> f >&0`). Then the run would read its own output or
// overwrite input it has not read, and report success over lost data.
//
// Writing behind the read position through a separate offset (`< f 1<> f`)
// is allowed: four bytes are written for every six read, so the output
// never overtakes the input. So is anything that is not one regular file on
// both sides (pipes, terminals, sockets), and an input with nothing left.
bool output_overtakes_input(int in, int out);

} // namespace fourofsix
