// Marking an open object for deletion, the one way Windows removes an entry through a
// handle rather than by a name.
#pragma once

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// mark_for_deletion sets the delete disposition of the object behind handle, which must
// have been opened with DELETE access, and returns whether the system accepted it. The
// entry disappears when the object's last handle closes; a directory that is not empty
// is refused by the file system. It never throws.
bool mark_for_deletion(NativeHandle handle) noexcept;

}  // namespace zu::archive_fs::windows
