#include "zu/archive_fs/private.hpp"

#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/ownership.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/security.hpp"

namespace zu::archive_fs {

Status private_directory_status(const Handle& directory) {
  const windows::Info info = windows::query_file(directory.get());
  require(info.directory);
  windows::check_private(directory.get(), windows::kWritableMask);
  return info.status;
}

Status private_file_status(const Handle& file, Shape shape) {
  const windows::Info info = windows::query_file(file.get());
  require(!info.directory);
  // A second link would let whoever can reach the other name change what the archive
  // reads; both counts are asked, since they come from different queries.
  require(info.links == 1 && info.handle_links == 1);
  windows::check_private(file.get(),
                         shape == Shape::sealed ? windows::kSealedMask : windows::kWritableMask);
  return info.status;
}

void private_directory(const Handle& directory) {
  static_cast<void>(private_directory_status(directory));
}

void private_file(const Handle& file, bool read_only) {
  static_cast<void>(private_file_status(file, read_only ? Shape::sealed : Shape::writable));
}

void seal_file(const Handle& file) {
  const windows::PrivateDescriptor sealed(windows::kSealedMask);
  // Only the list is replaced; the owner stays the one the file was created with, and
  // the check below insists that it is the current user.
  require(::SetSecurityInfo(file.get(), SE_FILE_OBJECT, windows::kSealInformation, nullptr,
                            nullptr, sealed.list(), nullptr) == ERROR_SUCCESS);
  private_file(file, Shape::sealed);
}

}  // namespace zu::archive_fs
