#include "zu/archive_fs/private.hpp"

#include <sys/stat.h>

#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs {

void private_directory(const Handle& directory) {
  const posix::Info info = posix::query(directory.get());
  require(info.directory);
  posix::check_private(directory.get(), info, posix::kDirectoryMode);
}

void private_file(const Handle& file, bool read_only) {
  const posix::Info info = posix::query(file.get());
  require(!info.directory);
  require(info.links == 1);
  posix::check_private(file.get(), info, read_only ? posix::kSealedMode : posix::kWritableMode);
}

void seal_file(const Handle& file) {
  // The type is checked first so that a directory handed in by mistake is not chmod'ed.
  require(!posix::query(file.get()).directory);
  require(posix::retry([&] { return ::fchmod(file.get(), posix::kSealedMode); }) == 0);
  private_file(file, true);
}

}  // namespace zu::archive_fs
