// Which file system an open object lies on, learned without asking that file system.
//
// A FUSE daemon or a network server answers the requests its file system receives, and
// may never answer. Opening an object normally sends it such a request; so do fstat and
// fstatfs. The mount an object lies on, however, is known to the kernel alone: its
// identifier comes from statx without a request, and its type from the mount table.
#pragma once

#include <cstdint>
#include <string_view>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// mount_id returns the identifier of the mount that the object behind descriptor lies on
// (which may be a path-only descriptor), as the first field of /proc/self/mountinfo
// names it. It asks the object's file system nothing. It throws Rejected when the
// kernel does not report mount identifiers (before Linux 5.8).
std::uint64_t mount_id(NativeHandle descriptor);

// mount_type returns the file-system type of the mount id described in mountinfo, text in
// the format of /proc/self/mountinfo, or an empty view when no line describes it. It
// throws Rejected when the line of id is malformed. The view points into mountinfo.
std::string_view mount_type(std::string_view mountinfo, std::uint64_t id);

// require_accepted_mount throws Rejected unless the mount id, looked up in
// /proc/self/mountinfo, is of a local disk file system with real ownership: the same
// file systems that query accepts by their magic numbers.
void require_accepted_mount(std::uint64_t id);

}  // namespace zu::archive_fs::posix
