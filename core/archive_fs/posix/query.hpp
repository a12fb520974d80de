// What this backend learns about an object before it trusts it, in three depths: a look
// (one statx), a look on an accepted file system (and fstatfs), and the full query that
// also gives the object's lasting identity (and FS_IOC_GETVERSION). Each caller asks for
// the least that its check needs; the comment at each call says why that is enough.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "archive_fs/choices.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs::posix {

// Identity tells one object from every other object that exists at the same moment: the
// device and inode numbers. An inode number is handed out again once its object is gone,
// so an Identity compares objects of which at least one is held open (or both are looked
// at together), never an object with one remembered from a time it was not held; the
// lasting identity is Status::file_id.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const Identity&, const Identity&) = default;
};

// identity_of returns the identity of an object as fstat or fstatat reported it.
Identity identity_of(const struct stat& seen) noexcept;

// Look is what one statx reports of a regular file or a directory.
struct Look {
  // directory tells a directory from a regular file; nothing else is ever looked at.
  bool directory = false;
  nlink_t links = 0;
  uid_t owner = 0;
  // mode holds the permission bits and the setuid, setgid and sticky bits (07777).
  mode_t mode = 0;
  Identity identity;
  // mount is the identifier of the mount the object was reached through, as the first
  // field of /proc/self/mountinfo names it; 0 where the kernel does not tell (before
  // Linux 5.8).
  std::uint64_t mount = 0;
  std::int64_t size = 0;
  // last_write_time and change_time are nanoseconds since the epoch, as in Status.
  std::int64_t last_write_time = 0;
  std::int64_t change_time = 0;
};

// unchanged_look returns whether two looks show the same object with the same size and
// times: nothing was written to it or changed about it in between.
bool unchanged_look(const Look& a, const Look& b) noexcept;

// look returns the Look of an open descriptor (also a path-only one). It throws Rejected
// unless the object is a regular file or a directory that still has a link, with a
// non-negative size and representable times. It does not ask which file system the
// object lies on.
Look look(NativeHandle descriptor);

// look_entry looks at the entry name of directory without opening it, and returns
// nothing when the name does not exist: a symbolic link is not followed, an automount
// point not triggered, and the answer comes from what the kernel holds
// (AT_STATX_DONT_SYNC), so that even an entry with a FUSE or network file system mounted
// over it is looked at without asking its daemon or server. It throws Rejected when the
// entry is anything but a regular file or directory, or lies on another mount than
// `mount` (an object is mounted over the name).
//
// REQUIRES: directory lies on an accepted file system, on the mount `mount`; name passed
// checked_name.
std::optional<Look> look_entry(const Handle& directory, const std::string& name,
                               std::uint64_t mount);

// denotes returns whether name in directory is, right now, the object `identity` (a
// symbolic link of that name is never followed, so it never is). It never throws.
bool denotes(const Handle& directory, const std::string& name, const Identity& identity) noexcept;

// require_accepted_file_system throws Rejected unless the object behind descriptor lies
// on a local disk file system with real ownership.
void require_accepted_file_system(NativeHandle descriptor);

// accepted_look is look for an object whose file system this backend has not accepted
// yet: it also does what require_accepted_file_system does.
Look accepted_look(NativeHandle descriptor);

// Info is the full query's result: the look, and the Status that status() reports.
// status.file_id is the inode number with the inode's generation number and birth time
// folded in (see query.cpp), which stays apart from every later file that gets the same
// number.
struct Info {
  Look look;
  Status status;
};

// query returns the Info of an open descriptor. It throws Rejected unless accepted_look
// does not, and the file system answers the generation question.
//
// WARNING: the generation is asked with an ioctl, which a path-only descriptor cannot
// carry; query needs a descriptor opened for reading.
Info query(NativeHandle descriptor);

}  // namespace zu::archive_fs::posix
