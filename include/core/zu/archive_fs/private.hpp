// Private ownership: the one shape in which the archive trusts a directory or file.
//
// An object is private when it belongs to the current user and nobody else has any
// access to it. The check is exact: an object that grants anything more or anything
// less, or grants it to anyone else, is refused and never repaired. On POSIX systems the
// owner must be the effective user, the whole mode (all twelve bits, so a setuid, setgid
// or sticky bit is refused too) must be exactly 0700 for a directory, 0600 for a file
// being written and 0400 for a sealed file, and the object may carry no access control
// list (neither an access list nor, on a directory, a default list). On Windows the owner
// must be the current user and the access list protected from inheritance, with exactly
// one entry, without flags, granting the current user exactly FILE_ALL_ACCESS (a
// directory, a file being written) or FILE_GENERIC_READ (a sealed file).
//
// A file the archive writes goes through two states: writable, from create_file, while
// it is filled, then sealed, by seal_file. Every later open checks the sealed shape.
//
// Thread safety: every operation may be called from any thread. The current user is
// read on every check.
#pragma once

#include "zu/archive_fs/handle.hpp"
#include "zu/export.hpp"

namespace zu::archive_fs {

// private_directory throws unless directory is an open directory that is private to the
// current user.
ZU_CORE_EXPORT void private_directory(const Handle& directory);

// private_file throws unless file is an open regular file with exactly one link (a
// hard-linked file is refused) that is private to the current user and in the sealed
// shape when read_only is true, or the writable shape when it is false. Each shape
// refuses the other.
ZU_CORE_EXPORT void private_file(const Handle& file, bool read_only);

// seal_file makes file read-only for its owner, then checks it as
// private_file(file, true) does. A handle that was open for writing stays able to write
// and flush after sealing; new opens for writing are refused.
//
// REQUIRES: file was made by create_file (or is owned by the current user).
ZU_CORE_EXPORT void seal_file(const Handle& file);

}  // namespace zu::archive_fs
