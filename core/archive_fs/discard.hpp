// Undoing a directory create, for callers that fail after making a directory and before
// anything was put into it.
#pragma once

#include <string>

#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

// discard_directory removes the entry `name` of `parent` when it still denotes the open
// `directory` and that directory is empty; otherwise, and on any failure, it does
// nothing. It never throws. It takes `directory` over and closes it: on Windows no
// handle of this namespace shares delete access, so the directory can be removed only
// once its own handle is gone.
void discard_directory(const Handle& parent, Handle directory, const std::string& name) noexcept;

}  // namespace zu::archive_fs
