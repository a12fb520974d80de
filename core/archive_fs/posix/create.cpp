#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <utility>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/created.hpp"
#include "archive_fs/posix/listing.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {
namespace {

// make_private gives an object of kind that this call created, whose mode was `seen`
// since, its exact private shape. The mode given at creation passes through the umask
// (and a setgid parent adds its bit to a new directory); only an explicit chmod makes it
// exact, where it is not already. Dropping a list leaves the mode as it is.
void make_private(const Handle& created, Kind kind, mode_t seen) {
  posix::drop_inherited_acls(created.get(), kind);
  const mode_t mode = kind == Kind::directory ? posix::kDirectoryMode : posix::kWritableMode;
  if (seen == mode) return;
  require(posix::retry([&] { return ::fchmod(created.get(), mode); }) == 0);
}

// remove_if_made removes name from parent when it is still the object of kind seen right
// after it was created (made) and still ours, so that a failed create leaves no half-made
// entry to be counted or tripped over later. Anything else under the name is left alone.
void remove_if_made(const Handle& parent, const std::string& name, const posix::Identity& made,
                    Kind kind) noexcept {
  struct stat entry {};
  if (::fstatat(parent.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (posix::identity_of(entry) != made || entry.st_uid != ::geteuid()) return;
  if (S_ISDIR(entry.st_mode) != (kind == Kind::directory)) return;
  // For a directory, AT_REMOVEDIR also refuses one that is not empty.
  ::unlinkat(parent.get(), name.c_str(), S_ISDIR(entry.st_mode) ? AT_REMOVEDIR : 0);
}

// require_fresh_directory throws unless created is the directory made, in the shape mkdir
// leaves: ours, empty, with no mode bit beyond 0700 and the setgid bit a setgid parent
// hands down, and returns its mode bits. Until this holds nothing may change it, for it
// may be someone else's.
mode_t require_fresh_directory(const Handle& created, const struct stat& made) {
  struct stat own {};
  require(::fstat(created.get(), &own) == 0);
  require(S_ISDIR(own.st_mode) && own.st_uid == ::geteuid());
  require(posix::identity_of(own) == posix::identity_of(made));
  // Two links on most file systems ("." and the parent's entry); btrfs counts one.
  require(own.st_nlink <= 2);
  require((own.st_mode & 07777 & ~mode_t{0700 | S_ISGID}) == 0);
  posix::Listing listing(created);
  for (std::string_view entry = listing.next(); !entry.empty(); entry = listing.next()) {
    require(entry == "." || entry == "..");
  }
  return own.st_mode & 07777;
}

}  // namespace

Handle create_directory(const Handle& parent, const std::string& name) {
  check_name(name);
  // The descriptor the new directory will be opened into is set aside first: a process
  // out of descriptors fails here, before anything exists to clean up.
  Handle reserved(posix::retry([&] { return ::fcntl(parent.get(), F_DUPFD_CLOEXEC, 0); }));
  require(static_cast<bool>(reserved));
  require(posix::retry([&] {
            return ::mkdirat(parent.get(), name.c_str(), posix::kDirectoryMode);
          }) == 0);
  // What the name denotes right after mkdirat is all a clean-up may ever remove; when not
  // even that can be seen, nothing is provably ours.
  struct stat made {};
  require(::fstatat(parent.get(), name.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0);
  reserved = Handle();
  try {
    // POSIX has no call that creates a directory and opens it in one step, so the name is
    // looked up again: another writer of parent may have put an object of theirs under it
    // meanwhile, which must be refused untouched.
    Handle created(posix::retry(
        [&] { return ::openat(parent.get(), name.c_str(), posix::kDirectoryOpen); }));
    require(static_cast<bool>(created));
    const mode_t seen = require_fresh_directory(created, made);
    // Its file system was judged by the listing above.
    make_private(created, Kind::directory, seen);
    return created;
  } catch (...) {
    remove_if_made(parent, name, posix::identity_of(made), Kind::directory);
    throw;
  }
}

Handle create_file(const Handle& parent, const std::string& name) {
  return posix::create_private_file(parent, name).handle;
}

namespace posix {

CreatedFile create_private_file(const Handle& parent, const std::string& name) {
  check_name(name);
  // O_CREAT | O_EXCL | O_NOFOLLOW creates and opens in one step: the descriptor is the very
  // file this call made, never looked up again, so nothing can be swapped in under it.
  Handle created(posix::retry([&] {
    return ::openat(parent.get(), name.c_str(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                    posix::kWritableMode);
  }));
  require(static_cast<bool>(created));
  posix::Identity made;
  try {
    // One look tells what a clean-up may remove; the file system is judged before
    // anything is changed about the file, and the descriptor keeps reaching the same
    // regular file, so nothing after needs another look.
    const posix::Look seen = posix::look(created.get());
    made = seen.identity;
    require(!seen.directory);
    posix::require_accepted_file_system(created.get());
    make_private(created, Kind::file, seen.mode);
    return {std::move(created), seen};
  } catch (...) {
    // Before the look nothing is known of the file, and nothing is removed.
    if (made != posix::Identity{}) remove_if_made(parent, name, made, Kind::file);
    throw;
  }
}

}  // namespace posix
}  // namespace zu::archive_fs
