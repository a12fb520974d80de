// Opening an open regular file again, as a new open file description, without looking up
// any of its names.
#pragma once

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// reopen_file returns a new read-only descriptor (close-on-exec, non-blocking) of the
// regular file behind descriptor, reached through its entry in /proc/self/fd, which leads
// to the open object itself rather than to any name it has. It throws Rejected unless
// descriptor is an open regular file, /proc is mounted and the new descriptor is the same
// file. A descriptor of anything but a regular file is never opened, so no device's open
// has effects and no FIFO is touched.
Handle reopen_file(NativeHandle descriptor);

}  // namespace zu::archive_fs::posix
