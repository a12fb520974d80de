#include "archive_fs/posix/checked_open.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/mounts.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"

namespace zu::archive_fs::posix {
namespace {

// A path-only descriptor (O_PATH) names an object without opening it: the kernel calls no
// open of the file system, and walking onto a mount's root asks its daemon nothing. Without
// O_DIRECTORY it does not trigger an automount either.
constexpr int kPathOnly = O_PATH | O_NOFOLLOW | O_CLOEXEC;

// open_checked turns the path-only descriptor of an object into a real one of kind. The
// mount is checked first, and only where it differs from the parent's (accepted) one:
// after that, looking at the object and opening it cannot wait on anyone.
Opened open_checked(const Handle& path, std::optional<std::uint64_t> parent_mount, Kind kind) {
  const std::uint64_t mount = mount_id(path.get());
  if (mount != parent_mount) require_accepted_mount(mount);
  Handle real;
  if (kind == Kind::directory) {
    // "." is looked up only in a directory, so this opens the very directory named, and
    // nothing else: anything but a directory fails. Its mount was accepted just above,
    // so it needs no query of its own here; whoever uses it queries it.
    real = Handle(retry([&] { return ::openat(path.get(), ".", kDirectoryOpen); }));
    require(static_cast<bool>(real));
  } else {
    // The entry in /proc/self/fd leads to the object itself, not to a name: a device or
    // FIFO swapped in under the name since the type was seen is never opened.
    struct stat seen {};
    require(::fstat(path.get(), &seen) == 0 && S_ISREG(seen.st_mode));
    const std::string link = "/proc/self/fd/" + std::to_string(path.get());
    real = Handle(retry([&] { return ::open(link.c_str(), kFileReopen); }));
    require(static_cast<bool>(real));
    struct stat opened {};
    require(::fstat(real.get(), &opened) == 0);
    require(opened.st_dev == seen.st_dev && opened.st_ino == seen.st_ino);
  }
  return {std::move(real), mount};
}

}  // namespace

Opened open_entry_in(const Handle& parent, std::uint64_t parent_mount, const std::string& name,
                     Kind kind, bool missing_ok) {
  checked_name(name);
  Handle path(retry([&] { return ::openat(parent.get(), name.c_str(), kPathOnly); }));
  if (!path) {
    require(missing_ok && errno == ENOENT);
    return {};
  }
  return open_checked(path, parent_mount, kind);
}

Handle open_entry(const Handle& parent, const std::string& name, Kind kind, bool missing_ok) {
  return open_entry_in(parent, mount_id(parent.get()), name, kind, missing_ok).handle;
}

Opened open_root() {
  // The root is opened directly and judged by the fstatfs of query alone: only whoever
  // sets up the process's root (an administrator, or the process itself in a namespace of
  // its own) can mount over it, and a root on a file system that does not answer would
  // stop every other lookup of the process anyway.
  Handle root(retry([] { return ::open("/", kDirectoryOpen); }));
  require(static_cast<bool>(root));
  require(query(root.get()).directory);
  const std::uint64_t mount = mount_id(root.get());
  return {std::move(root), mount};
}

}  // namespace zu::archive_fs::posix
