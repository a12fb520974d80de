// Opening an open directory again, by its file identifier, with other access rights.
#pragma once

#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// reopen_by_id returns a new handle of the open directory with access, reached through
// its file identifier on its own volume, so no name is looked up. It throws Rejected
// unless directory is an open directory, the open succeeds and the new handle is the
// same directory.
Handle reopen_by_id(const Handle& directory, ACCESS_MASK access);

}  // namespace zu::archive_fs::windows
