#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {
namespace {

// finish_create gives a newly created object its exact private shape and checks it. When
// that fails, the object is removed again (if the name still denotes it), so a failed
// create leaves no half-made entry behind to be counted or tripped over later.
Handle finish_create(const Handle& parent, const std::string& name, Handle created,
                     bool directory) {
  try {
    require(static_cast<bool>(created));
    posix::drop_inherited_acls(created.get(), directory);
    // The mode given at creation passes through the umask (and a setgid parent adds its
    // bit to a new directory); only an explicit chmod makes it exact.
    const mode_t mode = directory ? posix::kDirectoryMode : posix::kWritableMode;
    require(posix::retry([&] { return ::fchmod(created.get(), mode); }) == 0);
    const posix::Info info = posix::query(created.get());
    require(info.directory == directory);
    return created;
  } catch (const Rejected&) {
    struct stat entry {};
    if (created && ::fstatat(parent.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
      struct stat own {};
      if (::fstat(created.get(), &own) == 0 && own.st_dev == entry.st_dev &&
          own.st_ino == entry.st_ino) {
        ::unlinkat(parent.get(), name.c_str(), directory ? AT_REMOVEDIR : 0);
      }
    }
    throw;
  }
}

}  // namespace

Handle open_directory(const Handle& parent, const std::string& name) {
  checked_name(name);
  Handle directory(posix::retry(
      [&] { return ::openat(parent.get(), name.c_str(), posix::kDirectoryOpen); }));
  require(static_cast<bool>(directory));
  require(posix::query(directory.get()).directory);
  return directory;
}

Handle create_directory(const Handle& parent, const std::string& name) {
  checked_name(name);
  require(posix::retry([&] {
            return ::mkdirat(parent.get(), name.c_str(), posix::kDirectoryMode);
          }) == 0);
  Handle created(posix::retry(
      [&] { return ::openat(parent.get(), name.c_str(), posix::kDirectoryOpen); }));
  return finish_create(parent, name, std::move(created), true);
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

Handle create_file(const Handle& parent, const std::string& name) {
  checked_name(name);
  Handle created(posix::retry([&] {
    return ::openat(parent.get(), name.c_str(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                    posix::kWritableMode);
  }));
  if (!created) throw Rejected{};
  return finish_create(parent, name, std::move(created), false);
}

Status status(const Handle& handle) { return posix::query(handle.get()).status; }

Status entry_status(const Handle& directory, const std::string& name) {
  const Handle file = open_file(directory, name, false);
  private_file(file, true);
  return status(file);
}

}  // namespace zu::archive_fs
