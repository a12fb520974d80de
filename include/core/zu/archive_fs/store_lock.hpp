// StoreLock, the exclusive lock that serialises writers of one store across processes.
#pragma once

#include <cstdint>

#include "zu/archive_fs/handle.hpp"
#include "zu/export.hpp"

namespace zu::archive_fs {

// StoreLock holds an exclusive lock on the archive's key file for its lifetime. The lock
// is advisory: it excludes other StoreLocks, not readers, which rely on atomic
// publication instead.
//
// Any two StoreLocks on the same key file exclude each other: in two processes, in one
// process from two handles, and also in one process from the same Handle. A forked child
// can neither take its parent's lock through a handle it inherited (it waits like any
// other process) nor release it, not even by destroying a StoreLock object it inherited.
// The lock is released when its holder destroys it, or ends, even by a crash; after a
// crash, children forked while the lock was held keep it until they end or exec.
//
// On POSIX systems each StoreLock locks an open file description of its own, opened
// afresh through /proc/self/fd; /proc must be mounted, or the constructor throws. On
// Windows each locks the byte just past the key file's contents through a handle of its
// own, made by reopening lock_file.
//
// WARNING: a thread that takes a second StoreLock on the same key file while it holds one
// waits forever. Callers that share one key file between threads serialise those threads
// themselves, as the archive does with its mutex, taken before the lock.
//
// Thread safety: a StoreLock is made and destroyed by one thread and not shared.
class ZU_CORE_EXPORT StoreLock {
 public:
  // StoreLock waits, without a time limit, until the exclusive lock on lock_file is
  // granted, and throws Rejected when it cannot be taken. lock_file must be an open
  // regular file; the lock does not depend on it once taken. store_directory is not
  // consulted (it names the store the lock serialises).
  [[nodiscard]] StoreLock(const Handle& store_directory, const Handle& lock_file);

  // ~StoreLock releases the lock when called in the process that took it, and only
  // closes this object's own handle in any other. It never throws.
  ~StoreLock();

  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  // lock_ is the handle of the key file that carries the lock, this object's own. (open)
  Handle lock_;
  // owner_ identifies the process that took the lock, the only one that releases it.
  std::int64_t owner_;
};

}  // namespace zu::archive_fs
