// The one shape an entry of a store may have, as a capacity scan checks it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/list_memory.hpp"
#include "archive_fs/posix/query.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs::posix {

// open_store_entry opens the entry name of directory (which lies on the mount
// directory_mount) as entry_status opens it and checks that it is a private regular file
// with one link, sealed or still writable (as a staging file is); it returns the open
// file and sets `seen` to its look. Throws Rejected otherwise: for a name the archive
// never makes, a link, a FIFO, a device, a sub-directory, or a foreign or shared file.
Handle open_store_entry(const Handle& directory, std::uint64_t directory_mount,
                        const std::string& name, Look& seen);

// StoreScan checks the entries of one store directory, one after the other, as
// open_store_entry does, without opening any of them where the kernel allows, and without
// reading the access lists of those that a ListMemory proves unchanged. A plain owner,
// used by the one scan that made it.
class StoreScan {
 public:
  // StoreScan prepares a scan of directory, which lies on an accepted file system on the
  // mount directory_mount. With a memory, the scan uses it and leaves in it what it
  // proved when it ends; the memory must outlive the scan.
  StoreScan(const Handle& directory, std::uint64_t directory_mount, ListMemory* memory);
  ~StoreScan();
  StoreScan(const StoreScan&) = delete;
  StoreScan& operator=(const StoreScan&) = delete;

  // size checks the entry name as open_store_entry would and returns its size. Throws
  // Rejected for an entry of any other shape, and for one that vanished.
  std::int64_t size(std::string_view name);

 private:
  // free_of_lists returns true when the entry in name_, which `seen` shows, carries no
  // access list, and false when the kernel cannot tell by name; it throws Rejected when
  // the entry carries one.
  bool free_of_lists(const Look& seen);

  const Handle& directory_;
  std::uint64_t mount_;
  ListMemory* memory_;
  // user_ is the effective user, read once for the whole scan.
  uid_t user_;
  // name_ holds the entry's name for the calls that need a terminated string, reused so
  // that a scan allocates nothing per entry.
  std::string name_;
  // ask_by_name_ turns false once the kernel proves unable to read an extended attribute
  // by name relative to a directory (getxattrat came with Linux 6.13); the scan then
  // opens each entry.
  bool ask_by_name_ = true;
};

}  // namespace zu::archive_fs::posix
