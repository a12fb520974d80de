// The one shape an entry of a store may have, as a capacity scan checks it.
#pragma once

#include <cstdint>
#include <string>

#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// open_store_entry opens the entry name of directory (which lies on the mount
// directory_mount) as entry_status opens it and checks
// that it is a private regular file with one link, sealed or still writable (as a
// staging file is); it returns the open file and fills info. Throws Rejected otherwise:
// for a name the archive never makes, a link, a FIFO, a device, a sub-directory, or a
// foreign or shared file.
Handle open_store_entry(const Handle& directory, std::uint64_t directory_mount,
                        const std::string& name, Info& info);

}  // namespace zu::archive_fs::posix
