#include "zu/archive_fs/private.hpp"

#include <sys/stat.h>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs {

Status private_directory_status(const Handle& directory) {
  const posix::Info info = posix::query(directory.get());
  require(info.directory);
  posix::check_private(directory.get(), info, posix::kDirectoryMode);
  return info.status;
}

Status private_file_status(const Handle& file, bool read_only) {
  const posix::Info info = posix::query(file.get());
  require(!info.directory);
  require(info.links == 1);
  posix::check_private(file.get(), info, read_only ? posix::kSealedMode : posix::kWritableMode);
  return info.status;
}

void seal_file(const Handle& file) {
  // The type is checked first so that a directory handed in by mistake is not chmod'ed.
  require(!posix::query(file.get()).directory);
  require(posix::retry([&] { return ::fchmod(file.get(), posix::kSealedMode); }) == 0);
  private_file(file, true);
}

}  // namespace zu::archive_fs
