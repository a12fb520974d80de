// A new regular file, made private, with what was seen of it when it was made.
#pragma once

#include <string>

#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// CreatedFile is a file create_private_file made: its descriptor, open for reading and
// writing, and its look right after it was made.
struct CreatedFile {
  Handle handle;
  Look look;
};

// create_private_file does what create_file does and also returns the look it took of
// the new file, whose type, identity and file system are then known for as long as the
// descriptor stays open. Throws Rejected.
CreatedFile create_private_file(const Handle& parent, const std::string& name);

}  // namespace zu::archive_fs::posix
