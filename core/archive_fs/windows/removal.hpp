// Removing a directory this backend created, once its own handle is given up.
#pragma once

#include <string_view>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::windows {

// remove_directory closes directory, then removes the entry name of parent when it is
// still that directory and empty; otherwise, and on any failure, it leaves everything as
// it is. It never throws.
//
// The handle has to go first: it was opened without sharing delete access, as every open
// of this backend is, so while it is open nobody, this process included, can open the
// directory for deletion.
void remove_directory(const Handle& parent, Handle directory, std::wstring_view name) noexcept;

}  // namespace zu::archive_fs::windows
