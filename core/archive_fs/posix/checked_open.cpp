#include "archive_fs/posix/checked_open.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/mounts.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/reopen.hpp"
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
Handle open_checked(const Handle& path, std::optional<std::uint64_t> parent_mount, Kind kind) {
  const std::uint64_t mount = mount_id(path.get());
  if (mount != parent_mount) require_accepted_mount(mount);
  struct stat seen {};
  require(::fstat(path.get(), &seen) == 0);
  require(kind == Kind::directory ? S_ISDIR(seen.st_mode) : S_ISREG(seen.st_mode));
  // Neither way looks a name up again: a device or FIFO swapped in under the name since
  // is never opened.
  Handle real = kind == Kind::directory
                    ? Handle(retry([&] { return ::openat(path.get(), ".", kDirectoryOpen); }))
                    : reopen_file(path.get());
  require(static_cast<bool>(real));
  const Info info = query(real.get());
  require(info.directory == (kind == Kind::directory) && same_entry(seen, info));
  return real;
}

}  // namespace

Handle open_entry(const Handle& parent, const std::string& name, Kind kind, bool missing_ok) {
  checked_name(name);
  const std::uint64_t parent_mount = mount_id(parent.get());
  Handle path(retry([&] { return ::openat(parent.get(), name.c_str(), kPathOnly); }));
  if (!path) {
    require(missing_ok && errno == ENOENT);
    return Handle();
  }
  return open_checked(path, parent_mount, kind);
}

Handle open_root() {
  const Handle path(retry([] { return ::open("/", kPathOnly); }));
  require(static_cast<bool>(path));
  return open_checked(path, std::nullopt, Kind::directory);
}

}  // namespace zu::archive_fs::posix
