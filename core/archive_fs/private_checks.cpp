// The public private checks, the same on every backend: each backend's checked status
// query does the work, and these drop the status.
#include "archive_fs/checked_status.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {

void private_directory(const Handle& directory) {
  static_cast<void>(private_directory_status(directory));
}

void private_file(const Handle& file, bool read_only) {
  static_cast<void>(private_file_status(file, read_only));
}

}  // namespace zu::archive_fs
