// Best-effort tuning of the descriptors the tool streams through.
#pragma once

namespace fourofsix {

// Grows the pipe behind each of in and out to the block size (never past
// what /proc/sys/fs/pipe-max-size allows, never shrinking it) so a pipeline
// moves large chunks per wake-up, and tells the kernel a regular-file input
// will be read sequentially. Every failure is ignored: the tool streams
// correctly, only slower, without any of it.
void tune_descriptors(int in, int out);

} // namespace fourofsix
