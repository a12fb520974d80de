#include <sys/file.h>

#include "archive_fs/posix/system.hpp"
#include "zu/archive_fs/store_lock.hpp"

namespace zu::archive_fs {

// flock locks the open file description, not the process: two handles of the key file
// in one process exclude each other just as two processes do, and it works on the
// read-only descriptor the archive keeps of its key file.
StoreLock::StoreLock(const Handle& store_directory, const Handle& lock_file)
    : lock_file_(lock_file.get()) {
  static_cast<void>(store_directory);
  require(posix::retry([&] { return ::flock(lock_file_, LOCK_EX); }) == 0);
}

StoreLock::~StoreLock() { ::flock(lock_file_, LOCK_UN); }

}  // namespace zu::archive_fs
