#include "archive_fs/posix/store_entry.hpp"

#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/ownership.hpp"

namespace zu::archive_fs::posix {

Handle open_store_entry(const Handle& directory, std::uint64_t directory_mount,
                        const std::string& name, Info& info) {
  Handle file = open_entry_in(directory, directory_mount, name, Kind::file, false).handle;
  info = query(file.get());
  require(!info.directory && info.links == 1);
  require(info.mode == kSealedMode || info.mode == kWritableMode);
  check_private(file.get(), info, info.mode);
  return file;
}

}  // namespace zu::archive_fs::posix
