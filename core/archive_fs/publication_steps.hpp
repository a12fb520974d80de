// The end of a publication whose file was flushed before it was renamed, as the archive
// publishes every file: each backend knows what of the file the rename changed.
#pragma once

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// finish_synced_publication makes a publication durable, as finish_publication does, for
// a file that sync flushed before publish renamed it and that nobody wrote since. On
// POSIX systems that takes only sync(directory); on Windows, where a file's record holds
// its name, it is finish_publication itself.
void finish_synced_publication(const Handle& directory, const Handle& file);

}  // namespace zu::archive_fs
