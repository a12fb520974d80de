#include <sys/file.h>
#include <unistd.h>

#include "archive_fs/posix/reopen.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/store_lock.hpp"

namespace zu::archive_fs {

// flock belongs to an open file description, which dup and fork share. Locking one of our
// own, opened afresh, makes every StoreLock exclude every other, whatever handle it was
// made from and whoever inherited that handle; it works on the read-only descriptor the
// archive keeps of its key file.
StoreLock::StoreLock(const Handle& store_directory, const Handle& lock_file)
    : lock_(posix::reopen_file(lock_file.get())), owner_(::getpid()) {
  static_cast<void>(store_directory);
  require(posix::retry([&] { return ::flock(lock_.get(), LOCK_EX); }) == 0);
}

// A forked child shares lock_'s description: only the process that took the lock may
// release it, and the owner must release it explicitly, since closing its descriptor
// does not while such a child still holds a copy.
StoreLock::~StoreLock() {
  if (::getpid() == owner_) ::flock(lock_.get(), LOCK_UN);
}

}  // namespace zu::archive_fs
