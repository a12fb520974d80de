// The one shape an entry of a store may have, as a capacity scan checks it.
#pragma once

#include <string_view>

#include "archive_fs/windows/open_relative.hpp"
#include "zu/archive_fs/handle.hpp"
#include "zu/archive_fs/status.hpp"

namespace zu::archive_fs::windows {

// open_store_entry opens the entry name of directory with row (kOpenFileRow, as
// entry_status opens it, or kRemoveFileRow) and checks that it is a private regular file
// with one link, sealed or still writable (as a staging file is); it returns the open
// file and sets status to its status, queried after the checks. Throws Rejected
// otherwise: for a name the archive never makes, a sub-directory, a reparse point, a
// hard-linked file, or a foreign or shared file.
Handle open_store_entry(const Handle& directory, std::wstring_view name, const OpenRow& row,
                        Status& status);

}  // namespace zu::archive_fs::windows
