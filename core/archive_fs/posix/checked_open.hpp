// Opening a directory or regular file only once its file system is known to be accepted,
// so that nothing waits on a FUSE daemon or a network server.
#pragma once

#include <cstdint>
#include <string>

#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// open_entry opens the entry name of parent as kind and returns it: a directory for
// listing and as a parent, a regular file read-only. With Missing::allowed a name that
// does not exist yields an empty Handle. It throws Rejected for a bad name, a symbolic link,
// an entry of another kind, or one on a file system that is not accepted.
//
// REQUIRES: parent lies on an accepted file system, as every directory this namespace
// opens does; looking a name up in it is not checked and would wait if it did not.
Handle open_entry(const Handle& parent, const std::string& name, Kind kind, Missing missing);

// Opened is an open entry and the mount it lies on, which a walk down a path hands on as
// the next entry's parent mount.
struct Opened {
  Handle handle;
  std::uint64_t mount = 0;
};

// open_entry_in is open_entry for a caller that knows the mount parent lies on.
Opened open_entry_in(const Handle& parent, std::uint64_t parent_mount, const std::string& name,
                     Kind kind, Missing missing);

// open_root opens the root directory "/" as open_entry opens a directory.
Opened open_root();

}  // namespace zu::archive_fs::posix
