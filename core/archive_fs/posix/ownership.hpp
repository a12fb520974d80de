// The private shape of this backend: owner, exact mode, no access control list.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "archive_fs/list_memory.hpp"
#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// The three exact modes the archive uses.
inline constexpr mode_t kDirectoryMode = 0700;
inline constexpr mode_t kWritableMode = 0600;
inline constexpr mode_t kSealedMode = 0400;

// require_shape throws Rejected unless `look` shows an object that belongs to `user` and
// has exactly `mode`.
void require_shape(const Look& look, mode_t mode, uid_t user);

// require_no_acls throws Rejected when the object behind descriptor (opened, not
// path-only), described by `look`, carries an access control list (or, for a directory,
// a default list).
void require_no_acls(NativeHandle descriptor, const Look& look);

// require_no_lists is require_no_acls for an object that `memory` (when given) may already
// prove free of lists: it reads the lists only when the memory cannot, and tells the
// memory what it read. `now` is the real-time clock as read before the look.
void require_no_lists(AdmittedListMemory* memory, NativeHandle descriptor, const Look& look,
                      std::int64_t now);

// listed_object returns how a ListMemory names the object `look` shows.
ListMemory::Object listed_object(const Look& look) noexcept;

// real_time_now returns the real-time clock in nanoseconds since the epoch.
std::int64_t real_time_now();

// check_private throws Rejected unless the object behind descriptor, described by
// `look`, belongs to the effective user, read now, has exactly mode, and carries no
// access control list (nor a default list, when it is a directory).
void check_private(NativeHandle descriptor, const Look& look, mode_t mode);

// drop_inherited_acls removes the access control lists a new object of kind inherited
// from a parent's default list, so that it is private from its first moment just as the
// mode says. Throws Rejected when a list exists but cannot be removed.
void drop_inherited_acls(NativeHandle descriptor, Kind kind);

}  // namespace zu::archive_fs::posix
