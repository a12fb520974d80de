#include "archive_fs/posix/store_entry.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "archive_fs/names.hpp"
#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"

#ifndef SYS_getxattrat
#define SYS_getxattrat 464
#endif

namespace zu::archive_fs::posix {
namespace {

constexpr const char* kAccessList = "system.posix_acl_access";

// XattrArguments is the kernel's struct xattr_args: where a value goes and how long it may
// be; a size of 0 asks only whether (and how long) it exists.
struct XattrArguments {
  std::uint64_t value = 0;
  std::uint32_t size = 0;
  std::uint32_t flags = 0;
};

// require_entry_shape throws unless `seen` is what a store may hold: a regular file with
// one link, owned by `user`, sealed or still writable.
void require_entry_shape(const Look& seen, uid_t user) {
  require(!seen.directory && seen.links == 1);
  require(seen.mode == kSealedMode || seen.mode == kWritableMode);
  require_shape(seen, seen.mode, user);
}

// open_links returns this process's /proc/<pid>/fd, reached without following any link
// and proven to be the proc file system's, or an empty Handle where there is none.
Handle open_links() {
  const std::string path = "/proc/" + std::to_string(::getpid()) + "/fd";
  const open_how how =
      how_to(O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
  Handle links(retry([&] { return openat2(AT_FDCWD, path.c_str(), how); }));
  if (!links) return links;
  struct statfs system {};
  require(retry([&] { return ::fstatfs(links.get(), &system); }) == 0);
  require(system.f_type == PROC_SUPER_MAGIC);
  return links;
}

}  // namespace

Handle open_store_entry(const Handle& directory, std::uint64_t directory_mount,
                        const std::string& name, Look& seen) {
  Handle file =
      open_entry_in(directory, directory_mount, name, Kind::file, Missing::refused).handle;
  seen = accepted_look(file.get());
  require_entry_shape(seen, ::geteuid());
  require_no_acls(file.get(), seen);
  return file;
}

StoreScan::StoreScan(const Handle& directory, std::uint64_t directory_mount)
    : directory_(directory), mount_(directory_mount), user_(::geteuid()) {}

std::int64_t StoreScan::size(const std::string& name) {
  checked_name(name);
  // Opened at the first entry, so that an empty store costs nothing more.
  if (ask_links_ && !links_) {
    links_ = open_links();
    ask_links_ = static_cast<bool>(links_);
  }
  if (ask_links_) {
    // Named path-only in a call that refuses a link and a mount crossing (so the entry
    // lies on the directory's accepted file system), looked at through that descriptor,
    // and its access list read through the descriptor's entry in /proc: every check is
    // made on the one object named, as on an opened one, and nothing is opened.
    const open_how how = how_to(O_PATH | O_NOFOLLOW | O_CLOEXEC, kSameMount);
    const Handle path(retry([&] { return openat2(directory_.get(), name.c_str(), how); }));
    if (path) {
      const Look seen = look(path.get());
      require_entry_shape(seen, user_);
      XattrArguments ask;
      const std::string link = std::to_string(path.get());
      const long size = retry([&] {
        return ::syscall(SYS_getxattrat, links_.get(), link.c_str(), 0, kAccessList, &ask,
                         sizeof ask);
      });
      require(size < 0);
      if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP) return seen.size;
      // A kernel before getxattrat (Linux 6.13), or one that a filter keeps from it, cannot
      // tell: the rest of the scan opens each entry instead.
      ask_links_ = false;
    }
  }
  // Whatever the call above could not decide (a mount over the name, an older kernel) is
  // decided by opening the entry, as ever.
  Look seen;
  const Handle file = open_store_entry(directory_, mount_, name, seen);
  return seen.size;
}

}  // namespace zu::archive_fs::posix
