// Locating a store, opening and creating its directories and files, querying them, and
// reading and writing whole files.
//
// Names. Every name given to these operations is one path component in UTF-8, checked
// by the same rules on every platform so that stored names stay portable: it must be
// valid UTF-8 without NUL, must not be empty, "." or "..", must not end in '.' or ' ',
// and must contain no character below U+0020 and none of " * / : < > ? \ |. A name that
// breaks a rule throws Rejected before anything is opened.
//
// Waiting. A FUSE file system answers through a user-space daemon and a network file
// system through a server, either of which may never answer. No open made here waits on
// one. On POSIX systems an entry is opened by a call that the kernel refuses to take
// across a mount (openat2 with RESOLVE_NO_XDEV), so that it lies on its directory's
// accepted file system; an entry that call cannot reach is first named without being
// opened (O_PATH), and whether it lies on an accepted file system is decided from the
// kernel's mount table before it is opened or even looked at. On Windows the drive letter
// must stand for a local disk volume, checked before the volume's root is opened, and no
// open crosses a reparse point (a mount point is one), so none leaves that volume. Three
// waits remain outside this namespace's reach: an accepted overlay whose layers include a
// FUSE or network file system looks names up in those layers; a handle opened by other
// means than this namespace is trusted to lie on an accepted file system, so using it (as
// a parent or otherwise) can wait if it does not; and the root directory is opened as it
// is and judged afterwards, since only whoever sets up the process's root can mount over
// it.
// On POSIX systems /proc must be mounted: the mount table and the reopening of files are
// read through it, and without it locate and open_file throw.
//
// Thread safety: every operation may be called from any thread; none keeps state between
// calls. Handles passed in are only read through, except that write_all advances the
// position of the file it writes, and on Windows read_all moves the position too (it
// reads from the start through the position; on POSIX systems it reads at explicit
// offsets and leaves the position alone), so two calls on one handle are the caller's to
// serialise there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"
#include "zu/export.hpp"

namespace zu::archive_fs {

// Location is a path resolved into open directories: the result of locate. It is
// move-only; destroying it closes all its handles.
//
// As long as a Location lives, its directories stay the ones that were resolved, even
// when entries on the path are renamed or replaced: later opens relative to parent never
// look at the path text again.
struct Location {
  // ancestors holds the open directories from the root of the file-system tree down to
  // the grandparent of the target, root first. It is empty when parent is the root.
  std::vector<Handle> ancestors{};
  // parent is the open directory that contains the last path component.
  Handle parent{};
  // name is the last path component. It is neither opened nor required to exist.
  std::string name{};
};

// locate resolves path into open directory handles, one component at a time, and
// returns them with the last component's name.
//
// A relative path is resolved against the current working directory, read once. The
// path must name something below the root: a trailing separator, the root alone, an
// empty path, an empty component (a doubled separator) or any component that breaks the
// name rules above throws. So does a symbolic link at any directory component (on
// Windows any reparse point: junction, symbolic link, mount point), a directory that
// cannot be opened, and a directory on anything but a local disk file system with real
// ownership (network, FUSE, FAT-like and virtual file systems such as /proc are refused;
// on Windows only fixed NTFS volumes that keep access lists are accepted, and a drive
// letter substituted for a folder is refused).
//
// locate never waits on a FUSE daemon or network server (see "Waiting" above): a
// directory on such a file system, also one mounted over a component, is refused before
// it is opened.
//
// WARNING: every directory above the target must be readable by the caller, not only
// searchable, because each one is kept open (on Windows: traversable, with its
// attributes and security readable).
[[nodiscard]] ZU_CORE_EXPORT Location locate(std::string_view path);

// open_directory opens the existing sub-directory name of parent and returns it. It
// throws when the entry is missing, is a symbolic link or anything but a directory, or
// lies on a refused file system.
[[nodiscard]] ZU_CORE_EXPORT Handle open_directory(const Handle& parent, const std::string& name);

// create_directory creates the sub-directory name of parent, private to the current user
// from its first moment (owner-only access, no inherited access list), and returns it
// open. It throws when the name exists in any form.
//
// On POSIX systems the new directory has to be opened by its name, after it was made.
// When what it finds there is not that directory, fresh and ours (another writer of
// parent swapped in an object of its own), create_directory throws and leaves that object
// as it is. A create that throws removes the directory it made, unless that directory no
// longer sits under name.
[[nodiscard]] ZU_CORE_EXPORT Handle create_directory(const Handle& parent, const std::string& name);

// open_file opens the existing regular file name of parent for reading and returns it.
// With missing_ok, a name that does not exist yields an empty Handle; every other failure
// throws, also with missing_ok: a symbolic link, a directory, a FIFO, a device or a
// socket under that name. Opening never blocks, whatever the entry turns out to be, and
// waits on no FUSE daemon or network server (see "Waiting" above). On POSIX systems the
// entry's type is checked before it is opened, and the open reaches exactly the object
// checked, even when another object is put under the name in between; on Windows the
// open itself refuses a directory and opens a reparse point as itself, which is then
// refused.
//
// WARNING: on Windows an open waits while another process that holds an opportunistic
// lock on the file gives it up; on a private file only the owner's own processes can
// hold one.
[[nodiscard]] ZU_CORE_EXPORT Handle open_file(const Handle& parent, const std::string& name,
                                              bool missing_ok);

// create_file creates the regular file name in parent, private and writable by the
// current user from its first moment (the state private_file(file, false) accepts), and
// returns it open for reading and writing at position 0. It throws when the name exists
// in any form.
[[nodiscard]] ZU_CORE_EXPORT Handle create_file(const Handle& parent, const std::string& name);

// status returns the Status of an open regular file or directory. It throws for any
// other kind of object, for a file that has been deleted (on Windows also one marked for
// deletion), and, on POSIX systems, for a refused file system (on Windows locate judges
// the volume once, and no open made here leaves it).
[[nodiscard]] ZU_CORE_EXPORT Status status(const Handle& handle);

// entry_status opens the regular file name of directory, checks that it has exactly one
// link and is sealed (private_file(file, true) holds), and returns its Status. The file
// is closed again before entry_status returns.
[[nodiscard]] ZU_CORE_EXPORT Status entry_status(const Handle& directory, const std::string& name);

// read_all returns the whole contents of the open regular file handle, reading from
// offset 0. It throws when the file is larger than max_size bytes, when a read fails or
// ends early, and when the file's Status after the read is not unchanged from before it
// (the file was written, resized, re-permissioned or touched meanwhile).
//
// WARNING: max_size bounds the memory read_all allocates; pass the largest size the
// caller is prepared to hold, never a size taken from the file itself.
[[nodiscard]] ZU_CORE_EXPORT std::string read_all(const Handle& handle, std::uint64_t max_size);

// write_all writes all of bytes at the current position of handle, advancing it. It
// throws when a write fails or makes no progress, after which an unknown prefix of bytes
// may have been written. Empty bytes write nothing.
ZU_CORE_EXPORT void write_all(const Handle& handle, std::string_view bytes);

}  // namespace zu::archive_fs
