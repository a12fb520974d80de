#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {

Handle open_directory(const Handle& parent, const std::string& name) {
  checked_name(name);
  Handle directory(posix::retry(
      [&] { return ::openat(parent.get(), name.c_str(), posix::kDirectoryOpen); }));
  require(static_cast<bool>(directory));
  require(posix::query(directory.get()).directory);
  return directory;
}

Handle open_file(const Handle& parent, const std::string& name, bool missing_ok) {
  checked_name(name);
  // The entry's type is looked at before it is opened, so that a device is never opened
  // (opening some has effects of its own) and a FIFO never reaches the open.
  struct stat entry {};
  if (posix::retry([&] {
        return ::fstatat(parent.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW);
      }) != 0) {
    require(missing_ok && errno == ENOENT);
    return Handle();
  }
  require(S_ISREG(entry.st_mode));
  Handle file(
      posix::retry([&] { return ::openat(parent.get(), name.c_str(), posix::kFileOpen); }));
  if (!file) {
    require(missing_ok && errno == ENOENT);
    return Handle();
  }
  // What was opened must be what was looked at: an entry swapped in between is refused.
  const posix::Info info = posix::query(file.get());
  require(!info.directory && posix::same_entry(entry, info));
  return file;
}

Status status(const Handle& handle) { return posix::query(handle.get()).status; }

Status entry_status(const Handle& directory, const std::string& name) {
  const Handle file = open_file(directory, name, false);
  private_file(file, true);
  return status(file);
}

}  // namespace zu::archive_fs
