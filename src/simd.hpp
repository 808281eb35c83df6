// Included first by every instruction-set kernel. The tool's build compiles a
// kernel against the compiler's intrinsics. The tests compile the same source
// a second time with FOUROFSIX_EMULATED, against SIMDe's portable emulation
// of those intrinsics and into namespace fourofsix::emulated, so that every
// kernel runs, and is checked, on any CPU.
#pragma once

#ifdef FOUROFSIX_EMULATED
#define SIMDE_ENABLE_NATIVE_ALIASES
#define FOUROFSIX_KERNEL_NS fourofsix::emulated
#else
#define FOUROFSIX_KERNEL_NS fourofsix
#endif
