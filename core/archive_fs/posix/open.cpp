#include <string>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {

Handle open_directory(const Handle& parent, const std::string& name) {
  return posix::open_entry(parent, name, posix::Kind::directory, posix::Missing::refused);
}

Handle open_file(const Handle& parent, const std::string& name, bool missing_ok) {
  return posix::open_entry(parent, name, posix::Kind::file,
                           missing_ok ? posix::Missing::allowed : posix::Missing::refused);
}

Status status(const Handle& handle) { return posix::query(handle.get()).status; }

Status entry_status(const Handle& directory, const std::string& name) {
  const Handle file = posix::open_entry(directory, name, posix::Kind::file, posix::Missing::refused);
  return private_file_status(file, Shape::sealed);
}

}  // namespace zu::archive_fs
