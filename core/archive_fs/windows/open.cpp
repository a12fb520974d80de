#include <string>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/open_relative.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/text.hpp"
#include "zu/archive_fs/files.hpp"
#include "zu/archive_fs/private.hpp"

namespace zu::archive_fs {

Handle open_directory(const Handle& parent, const std::string& name) {
  return windows::open_relative(parent.get(), windows::checked_wide_name(name),
                                windows::kOpenDirectoryRow);
}

Handle open_file(const Handle& parent, const std::string& name, bool missing_ok) {
  return windows::open_relative(parent.get(), windows::checked_wide_name(name),
                                windows::kOpenFileRow,
                                missing_ok ? Missing::allowed : Missing::refused);
}

Status status(const Handle& handle) { return windows::query_file(handle.get()).status; }

Status entry_status(const Handle& directory, const std::string& name) {
  const Handle file = open_file(directory, name, Missing::refused);
  private_file(file, Shape::sealed);
  // Queried again after the check, so the status returned is no older than the check.
  return status(file);
}

void require_still_sealed(const Handle& directory, const std::string& name, const Handle& file,
                          const Status& seen) {
  require(unchanged(entry_status(directory, name), seen));
  private_file(file, Shape::sealed);
}

}  // namespace zu::archive_fs
