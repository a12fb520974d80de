#include "archive_fs/windows/reopen.hpp"

#include "archive_fs/require.hpp"
#include "archive_fs/windows/query.hpp"

namespace zu::archive_fs::windows {

Handle reopen_by_id(const Handle& directory, ACCESS_MASK access) {
  const Info before = query_file(directory.get());
  require(before.directory);
  FILE_ID_DESCRIPTOR id{};
  static_assert(sizeof(FILE_ID_DESCRIPTOR) == 24);
  id.dwSize = sizeof(FILE_ID_DESCRIPTOR);
  id.Type = FileIdType;
  id.FileId.QuadPart = static_cast<LONGLONG>(before.status.file_id);
  // The directory's own handle is the volume hint: the identifier is looked up on the
  // volume it lies on and nowhere else.
  const HANDLE raw =
      ::OpenFileById(directory.get(), &id, access, kShareReadWrite, nullptr, kReopenFlags);
  require(raw != INVALID_HANDLE_VALUE && raw != nullptr);
  Handle reopened(raw);
  const Info after = query_file(reopened.get());
  require(after.directory && same_file(before.status, after.status));
  return reopened;
}

}  // namespace zu::archive_fs::windows
