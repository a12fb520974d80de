#include "archive_fs/posix/checked_open.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/mounts.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/reopen.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

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
    real = reopen_file(path.get());
  }
  return {std::move(real), mount};
}

// open_walked is open_entry_in one careful step at a time: the entry is named without
// being opened, its mount accepted, and only then is it opened.
Opened open_walked(const Handle& parent, std::optional<std::uint64_t> parent_mount,
                   const std::string& name, Kind kind, Missing missing) {
  Handle path(retry([&] { return ::openat(parent.get(), name.c_str(), kPathOnly); }));
  if (!path) {
    require(missing == Missing::allowed && errno == ENOENT);
    return {};
  }
  return open_checked(path, parent_mount, kind);
}

// open_in_mount opens the entry name of parent as kind in one call that refuses a
// symbolic link and a mount crossing, and returns it with its mount, which is parent's;
// nothing when that call cannot decide and the careful walk must.
std::optional<Opened> open_in_mount(const Handle& parent, std::uint64_t parent_mount,
                                    const std::string& name, Kind kind, Missing missing) {
  // The kernel refuses a symbolic link and a mount crossing in the same call that opens
  // the entry (openat2 with RESOLVE_NO_SYMLINKS, RESOLVE_NO_MAGICLINKS, RESOLVE_NO_XDEV),
  // so what it opens lies on the parent's mount: the file system the careful walk would
  // accept, reached without asking any other. Whatever it refuses for another reason (an
  // older kernel among them) is left to the careful walk, which decides as before.
  if (kind == Kind::directory) {
    // RESOLVE_CACHED: the name is answered from the kernel's caches or not at all, so the
    // open crosses, and triggers, no automount point on the way (the walk handles those).
    const open_how how = how_to(kDirectoryOpen, kSameMount | RESOLVE_CACHED);
    Handle real(retry([&] { return openat2(parent.get(), name.c_str(), how); }));
    if (real) return Opened{std::move(real), parent_mount};
    return std::nullopt;
  }
  // A regular file is named first, path-only (which triggers no automount), so that its
  // type is known before it is opened.
  const open_how how = how_to(kPathOnly, kSameMount);
  const Handle path(retry([&] { return openat2(parent.get(), name.c_str(), how); }));
  if (!path) {
    if (errno == ENOENT && missing == Missing::allowed) return Opened{};
    return std::nullopt;
  }
  return Opened{reopen_file(path.get()), parent_mount};
}

}  // namespace

Opened open_entry_in(const Handle& parent, std::uint64_t parent_mount, const std::string& name,
                     Kind kind, Missing missing) {
  check_name(name);
  if (std::optional<Opened> opened = open_in_mount(parent, parent_mount, name, kind, missing)) {
    return std::move(*opened);
  }
  return open_walked(parent, parent_mount, name, kind, missing);
}

Handle open_entry(const Handle& parent, const std::string& name, Kind kind, Missing missing) {
  check_name(name);
  // The parent's mount matters only to the careful walk: the shortcut stays on it.
  if (std::optional<Opened> opened = open_in_mount(parent, 0, name, kind, missing)) {
    return std::move(opened->handle);
  }
  return open_walked(parent, mount_id(parent.get()), name, kind, missing).handle;
}

Opened open_root() {
  // The root is opened directly and judged by its file system alone: only whoever sets
  // up the process's root (an administrator, or the process itself in a namespace of its
  // own) can mount over it, and a root on a file system that does not answer would stop
  // every other lookup of the process anyway.
  Handle root(retry([] { return ::open("/", kDirectoryOpen); }));
  require(static_cast<bool>(root));
  const Look seen = accepted_look(root.get());
  require(seen.directory);
  return {std::move(root), seen.mount};
}

}  // namespace zu::archive_fs::posix
