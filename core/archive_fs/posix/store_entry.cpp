#include "archive_fs/posix/store_entry.hpp"

#include "archive_fs/posix/ownership.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs::posix {

Handle open_store_entry(const Handle& directory, const std::string& name, Info& info) {
  Handle file = open_file(directory, name, false);
  info = query(file.get());
  require(!info.directory && info.links == 1);
  require(info.mode == kSealedMode || info.mode == kWritableMode);
  check_private(file.get(), info, info.mode);
  return file;
}

}  // namespace zu::archive_fs::posix
