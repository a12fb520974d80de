#include <string>
#include <utility>

#include "archive_fs/windows/disposition.hpp"
#include "archive_fs/windows/open_relative.hpp"
#include "archive_fs/windows/removal.hpp"
#include "archive_fs/windows/security.hpp"
#include "archive_fs/windows/text.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {

// Both creates hand the private descriptor to the create itself, so the object is
// private from its first moment, and FILE_CREATE makes the handle the very object this
// call made: nothing can be swapped in under the name.

Handle create_directory(const Handle& parent, const std::string& name) {
  const std::wstring wide = windows::checked_wide_name(name);
  windows::PrivateDescriptor descriptor(windows::kWritableMask);
  Handle created = windows::nt_open(parent.get(), wide, windows::kCreateDirectoryRow,
                                    descriptor.get(), Missing::refused);
  try {
    windows::require_kind(created, Kind::directory);
    return created;
  } catch (...) {
    windows::remove_directory(parent, std::move(created), wide);
    throw;
  }
}

Handle create_file(const Handle& parent, const std::string& name) {
  const std::wstring wide = windows::checked_wide_name(name);
  windows::PrivateDescriptor descriptor(windows::kWritableMask);
  Handle created = windows::nt_open(parent.get(), wide, windows::kCreateFileRow,
                                    descriptor.get(), Missing::refused);
  try {
    windows::require_kind(created, Kind::file);
    return created;
  } catch (...) {
    // The handle carries DELETE, so the file made here goes when it is closed.
    windows::mark_for_deletion(created.get());
    throw;
  }
}

}  // namespace zu::archive_fs
