// Status, the identity, size and times of one file or directory, and the two ways of
// comparing it.
#pragma once

#include <cstdint>

#include "zu/export.hpp"

namespace zu::archive_fs {

// Status describes one open file or directory at the moment it was queried. It is a
// plain value; the member order is fixed.
//
// The members identify the object (volume and file_id, which the archive also binds
// into its key file) and tell whether it was changed (size and the two times). On POSIX
// systems volume is the file system's identifier as fstatfs reports it, which survives
// remounts and renumbered devices, or the device number where the file system reports
// none; file_id is the inode number with the inode's generation number and birth time
// folded in, where the file system keeps them, so that a file made later on a freed
// inode number has another file_id; the times are nanoseconds since the epoch. On
// Windows they are the volume serial number, the file index (which carries its own
// reuse count) and FILETIME ticks.
struct Status {
  std::uint64_t volume = 0;
  std::uint64_t file_id = 0;
  std::int64_t size = 0;
  std::int64_t last_write_time = 0;
  std::int64_t change_time = 0;
};

// same_file returns whether a and b describe the same object: equal volume and file_id.
[[nodiscard]] ZU_CORE_EXPORT bool same_file(const Status& a, const Status& b) noexcept;

// unchanged returns whether a and b are equal in all five members: the same object with
// the same size and times, so nothing was written to it or changed about it in between.
[[nodiscard]] ZU_CORE_EXPORT bool unchanged(const Status& a, const Status& b) noexcept;

}  // namespace zu::archive_fs
