#include <optional>
#include <string>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/names.hpp"
#include "archive_fs/posix/checked_open.hpp"
#include "archive_fs/posix/ownership.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {

Handle open_directory(const Handle& parent, const std::string& name) {
  return posix::open_entry(parent, name, Kind::directory, Missing::refused);
}

Handle open_file(const Handle& parent, const std::string& name, bool missing_ok) {
  return posix::open_entry(parent, name, Kind::file,
                           missing_ok ? Missing::allowed : Missing::refused);
}

Status status(const Handle& handle) { return posix::query(handle.get()).status; }

Status entry_status(const Handle& directory, const std::string& name) {
  const Handle file = posix::open_entry(directory, name, Kind::file, Missing::refused);
  return private_file_status(file, Shape::sealed);
}

void require_still_sealed(const Handle& directory, const std::string& name, const Handle& file,
                          const Status& seen) {
  check_name(name);
  // The held file cannot share its identity with any other object while it stays open,
  // so a name that denotes that identity denotes the file itself: one look at the name
  // and one at the file stand for opening the name and checking what it opened, and then
  // checking the held file again. The file lies on the directory's file system (the name
  // lies on the directory's mount), whose look the held file's own look completes.
  const posix::Look held = posix::look(file.get());
  const std::optional<posix::Look> named = posix::look_entry(directory, name, held.mount);
  require(named && named->identity == held.identity);
  require(!held.directory && held.links == 1);
  require(held.size == seen.size && held.last_write_time == seen.last_write_time &&
          held.change_time == seen.change_time);
  posix::check_private(file.get(), held, posix::kSealedMode);
}

}  // namespace zu::archive_fs
