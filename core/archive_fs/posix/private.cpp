#include "zu/archive_fs/private.hpp"

#include <sys/stat.h>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

namespace zu::archive_fs {
namespace {

mode_t mode_of(Shape shape) noexcept {
  return shape == Shape::sealed ? posix::kSealedMode : posix::kWritableMode;
}

void require_private_directory(const Handle& directory, const posix::Look& look) {
  require(look.directory);
  posix::check_private(directory.get(), look, posix::kDirectoryMode);
}

void require_private_file(const Handle& file, const posix::Look& look, Shape shape) {
  require(!look.directory);
  require(look.links == 1);
  posix::check_private(file.get(), look, mode_of(shape));
}

}  // namespace

Status private_directory_status(const Handle& directory) {
  const posix::Info info = posix::query(directory.get());
  require_private_directory(directory, info.look);
  return info.status;
}

Status private_file_status(const Handle& file, Shape shape) {
  const posix::Info info = posix::query(file.get());
  require_private_file(file, info.look, shape);
  return info.status;
}

// The checks alone hand no Status out, so they ask everything of the full query but the
// inode's generation, which only the lasting identity in a Status needs.
void private_directory(const Handle& directory) {
  require_private_directory(directory, posix::accepted_look(directory.get()));
}

void private_file(const Handle& file, bool read_only) {
  require_private_file(file, posix::accepted_look(file.get()),
                       read_only ? Shape::sealed : Shape::writable);
}

void seal_file(const Handle& file) {
  // The type is checked first so that a directory handed in by mistake is not chmod'ed,
  // and the file system with it, which the chmod does not change.
  require(!posix::accepted_look(file.get()).directory);
  require(posix::retry([&] { return ::fchmod(file.get(), posix::kSealedMode); }) == 0);
  require_private_file(file, posix::look(file.get()), Shape::sealed);
}

}  // namespace zu::archive_fs
