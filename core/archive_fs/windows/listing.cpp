#include "archive_fs/windows/listing.hpp"

#include "archive_fs/require.hpp"
#include "archive_fs/windows/reopen.hpp"
#include "archive_fs/windows/system.hpp"

namespace zu::archive_fs::windows {

// Listing moves a handle's position in the directory, and the caller's handle must stay
// as it was; hence a handle of our own.
Listing::Listing(const Handle& directory)
    : handle_(reopen_by_id(directory, kListingAccess)),
      buffer_(std::make_unique<ListingBuffer>()) {}

bool Listing::next(std::vector<std::wstring>& names) {
  // Zeroed before each call, so that no byte of an earlier call can pass for a record.
  buffer_->bytes.fill(0);
  const FILE_INFO_BY_HANDLE_CLASS kind =
      restarted_ ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
  restarted_ = true;
  if (::GetFileInformationByHandleEx(handle_.get(), kind, buffer_->bytes.data(),
                                     static_cast<DWORD>(buffer_->bytes.size())) == 0) {
    require(::GetLastError() == ERROR_NO_MORE_FILES);
    return false;
  }
  names = record_names(*buffer_);
  return true;
}

}  // namespace zu::archive_fs::windows
