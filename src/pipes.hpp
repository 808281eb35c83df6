// Best-effort tuning of the descriptors the tool streams through.
#pragma once

#include <string_view>

namespace fourofsix {

// The decimal number that `text` starts with (as read from a /proc file),
// or `cap` if it is larger: no content, however long, can overflow.
// 0 when text starts with no digit. cap must be below LONG_MAX / 10.
long leading_number(std::string_view text, long cap);

// Tells the kernel that fd, if it is a regular file, will be read
// sequentially, so it reads ahead further. Returns whether that advice was
// given: false for anything else, or if the file cannot be examined.
bool advise_sequential(int fd);

// Grows the pipe behind each of in and out to the block size (never past
// what /proc/sys/fs/pipe-max-size allows, never shrinking it) so a pipeline
// moves large chunks per wake-up, and advises a regular-file input as
// above. Every failure is ignored: the tool streams
// correctly, only slower, without any of it.
void tune_descriptors(int in, int out);

} // namespace fourofsix
