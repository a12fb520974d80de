// StoreLock, the exclusive lock that serialises writers of one store across processes.
#pragma once

#include "zu/archive_fs/handle.hpp"
#include "zu/export.hpp"

namespace zu::archive_fs {

// StoreLock holds an exclusive lock on the archive's key file for its lifetime. The lock
// is advisory: it excludes other StoreLocks, not readers, which rely on atomic
// publication instead.
//
// On POSIX systems the lock belongs to the open file description behind lock_file: a
// StoreLock on any other handle of the same file, in this process or another one, waits
// until this one is released, and the lock is released when its last holder ends, even
// by a crash.
//
// WARNING: two StoreLocks made from the same Handle do not exclude each other (and the
// first one released frees both). Callers that share one Handle between threads
// serialise those threads themselves, as the archive does with its mutex, taken before
// the lock.
//
// Thread safety: a StoreLock is made and destroyed by one thread and not shared.
class ZU_CORE_EXPORT StoreLock {
 public:
  // StoreLock waits, without a time limit, until the exclusive lock on lock_file is
  // granted, and throws Rejected when it cannot be taken. It does not own lock_file,
  // which must stay open for the lock's lifetime; store_directory is not consulted (it
  // names the store the lock serialises).
  [[nodiscard]] StoreLock(const Handle& store_directory, const Handle& lock_file);

  // ~StoreLock releases the lock. It never throws.
  ~StoreLock();

  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  // lock_file_ is the locked file, owned by the caller.
  NativeHandle lock_file_;
};

}  // namespace zu::archive_fs
