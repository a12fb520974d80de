#include "zu/archive_fs/store_lock.hpp"

#include "archive_fs/identity.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs {
namespace {

// The locked byte lies just past the key file's 96 bytes of contents, so the lock never
// overlaps anything that is read.
constexpr DWORD kLockOffset = 96;
constexpr DWORD kLockLength = 1;

// own_handle returns a new handle of the regular file behind lock_file. A byte-range lock
// belongs to the handle it was taken through: on a handle of its own, every StoreLock
// excludes every other, even two made from one Handle. ReOpenFile opens the object
// behind the handle, never a name. Write sharing lets it open a key file whose handle
// was opened for writing; the file is sealed read-only anyway.
Handle own_handle(const Handle& lock_file) {
  require(!windows::query_file(lock_file.get()).directory);
  const HANDLE raw = ::ReOpenFile(lock_file.get(), windows::kFileReadAccess,
                                  windows::kShareReadWrite, FILE_FLAG_OPEN_REPARSE_POINT);
  require(raw != INVALID_HANDLE_VALUE && raw != nullptr);
  Handle own(raw);
  require(same_object(own, lock_file));
  return own;
}

OVERLAPPED lock_range() noexcept {
  OVERLAPPED range{};
  range.Offset = kLockOffset;
  range.OffsetHigh = 0;
  return range;
}

}  // namespace

StoreLock::StoreLock(const Handle& store_directory, const Handle& lock_file)
    : lock_(own_handle(lock_file)), owner_(::GetCurrentProcessId()) {
  static_cast<void>(store_directory);
  OVERLAPPED range = lock_range();
  // No fail-immediately flag: the call waits until the lock is granted.
  require(::LockFileEx(lock_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, kLockLength, 0, &range) != 0);
}

// Windows hands handles to no child the way fork does, so the owner check only keeps the
// promise the interface makes on every platform.
StoreLock::~StoreLock() {
  if (static_cast<std::int64_t>(::GetCurrentProcessId()) == owner_) {
    OVERLAPPED range = lock_range();
    ::UnlockFileEx(lock_.get(), 0, kLockLength, 0, &range);
  }
}

}  // namespace zu::archive_fs
