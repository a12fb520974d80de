#include "archive_fs/posix/store_entry.hpp"

#include <fcntl.h>
#include <sys/syscall.h>
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

StoreScan::StoreScan(const Handle& directory, std::uint64_t directory_mount, ListMemory* memory)
    : directory_(directory), mount_(directory_mount), memory_(memory), user_(::geteuid()) {
  // The clock is read before any list is: what the memory keeps must have settled by
  // then (ListMemory says why).
  if (memory_ != nullptr) memory_->begin(real_time_now());
}

StoreScan::~StoreScan() {
  if (memory_ != nullptr) memory_->end();
}

std::int64_t StoreScan::size(std::string_view name) {
  name_.assign(name);
  check_name(name_);
  if (ask_by_name_) {
    // Two calls by name in place of an open, a look and an attribute read on the opened
    // object. The archive scans its held store directory, which is private: only the
    // owner (and the superuser) can make a name denote another object between the two
    // calls, and such a process can read the key file itself, so checking one object
    // guards against nobody that two lookups let in. The look refuses a link and an
    // object mounted over the name; the attribute read follows no link either.
    const std::optional<Look> seen = look_entry(directory_, name_, mount_);
    require(seen.has_value());
    require_entry_shape(*seen, user_);
    if (free_of_lists(*seen)) return seen->size;
  }
  Look seen;
  const Handle file = open_store_entry(directory_, mount_, name_, seen);
  if (memory_ != nullptr) memory_->read_free(listed_object(seen));
  return seen.size;
}

bool StoreScan::free_of_lists(const Look& seen) {
  const ListMemory::Object object = listed_object(seen);
  if (memory_ != nullptr && memory_->known_free(object)) return true;
  XattrArguments ask;
  const long size = retry([&] {
    return ::syscall(SYS_getxattrat, directory_.get(), name_.c_str(), AT_SYMLINK_NOFOLLOW,
                     kAccessList, &ask, sizeof ask);
  });
  require(size < 0);
  if (errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP) {
    if (memory_ != nullptr) memory_->read_free(object);
    return true;
  }
  // A kernel before getxattrat (Linux 6.13), one that a filter keeps from it, or any
  // other failure cannot tell: the rest of the scan opens each entry instead.
  ask_by_name_ = false;
  return false;
}

}  // namespace zu::archive_fs::posix
