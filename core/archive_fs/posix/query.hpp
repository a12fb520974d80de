// The full status query of this backend: what every operation learns about an open
// descriptor before it trusts it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs::posix {

// Info is one query's result. status is what the public status() returns; the other
// members are what the checks of this backend look at. status.file_id is the inode number
// with the inode's generation number and birth time folded in (see query.cpp), which
// stays apart from every later file that gets the same number; device and inode are the
// raw numbers, for comparing objects that are both open at that moment.
struct Info {
  Status status;
  // directory tells a directory from a regular file; query accepts nothing else.
  bool directory = false;
  nlink_t links = 0;
  uid_t owner = 0;
  // mode holds the permission bits and the setuid, setgid and sticky bits (07777).
  mode_t mode = 0;
  // device and inode identify the object for comparisons with fstatat of a name, which
  // reports the same two numbers.
  dev_t device = 0;
  ino_t inode = 0;
};

// query returns the Info of an open descriptor. It throws Rejected unless the descriptor
// is a regular file or a directory that still has a link, on a local disk file system
// with real ownership, with a non-negative size and representable times.
Info query(NativeHandle descriptor);

// same_entry returns whether entry, as fstatat reported it, is the object described by
// info.
bool same_entry(const struct stat& entry, const Info& info) noexcept;

}  // namespace zu::archive_fs::posix
