// The private check of open objects: their descriptor read from the system and judged by
// the exact shape.
#pragma once

#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// check_private throws Rejected unless the object behind handle is private to the
// current user with exactly mask (see check_private_shape).
void check_private(NativeHandle handle, ACCESS_MASK mask);

// check_private_entry throws Rejected unless the object behind handle is private to the
// current user as a store entry may be: sealed (kSealedMask) or still being written
// (kWritableMask). The mask is the one its first entry grants.
void check_private_entry(NativeHandle handle);

}  // namespace zu::archive_fs::windows
