// Best-effort tuning of the descriptors the tool streams through.
#pragma once

#include <string_view>
#include <sys/types.h>

namespace fourofsix {

// The decimal number that `text` starts with (as read from a /proc file),
// or `cap` if it is larger: no content, however long, can overflow.
// 0 when text starts with no digit. cap must be below LONG_MAX / 10.
long leading_number(std::string_view text, long cap);

// The file type bits of fd (S_IFREG, S_IFIFO, ...), or 0 if it cannot be
// examined: closed, or, in a build without 64-bit file offsets, a file over
// 2 GiB (EOVERFLOW). Only a regular file is given the read-ahead advice.
mode_t file_type(int fd);

// Grows the pipe behind each of in and out (never shrinking it) so a
// pipeline moves large chunks per wake-up, up to pipe_size but never past
// what /proc/sys/fs/pipe-max-size allows; where the user's pipe quota binds
// the process, the pipes it grows take together at most a
// pipe_quota_share-th of the quota (the one pipe it grows takes all of
// that), so that many runs at once leave the user's other programs pipes
// of the default size. Tells the kernel a regular-file input will be read
// sequentially. Every failure is ignored: the tool streams correctly, only
// slower, without any of it. Returns the size of the output pipe, 0 if the
// output is no pipe.
long tune_descriptors(int in, int out);

} // namespace fourofsix
