// The files nd-asm and nd-dis write: never damaging what the name stands for.
#pragma once

#include <cstddef>
#include <string>

namespace ndtools {

// Writes size bytes under path. A regular file (or a name not yet taken) is
// replaced whole: the bytes go to a temporary file beside it, which is then
// renamed over it, so that a failed write leaves the old file as it was; an
// existing file keeps its permission bits. A symbolic link is followed and
// stays a link. A character device or FIFO (/dev/null, a pipe) is written
// through, never replaced. Anything else (a directory, a block device, a
// socket, a link that leads nowhere) is refused. On failure returns false
// with the reason in error.
bool write_output_file(const std::string &path, const void *data, size_t size, std::string &error);

// After a failure no result may stand under path: a regular file there is
// removed. A link, device or FIFO is left alone.
void remove_stale_output(const std::string &path);

} // namespace ndtools
