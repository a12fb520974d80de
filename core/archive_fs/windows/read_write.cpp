#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/read_buffer.hpp"
#include "archive_fs/require.hpp"
#include "archive_fs/windows/query.hpp"
#include "archive_fs/windows/system.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {

std::string read_all(const Handle& handle, std::uint64_t max_size) {
  const windows::Info before = windows::query_file(handle.get());
  require(!before.directory);
  return read_all_since(handle, max_size, before.status);
}

void read_all_since(const Handle& handle, std::uint64_t max_size, const Status& before,
                    std::string& bytes) {
  read_buffer(before, max_size, bytes);

  // A synchronous handle reads from its file position, which the caller may have moved.
  LARGE_INTEGER start{};
  require(::SetFilePointerEx(handle.get(), start, nullptr, FILE_BEGIN) != 0);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto want =
        static_cast<DWORD>(std::min<std::uint64_t>(bytes.size() - done, windows::kMaxTransfer));
    DWORD got = 0;
    require(::ReadFile(handle.get(), bytes.data() + done, want, &got, nullptr) != 0);
    // A short file (truncated meanwhile) ends the reads early and is refused.
    require(got > 0);
    done += got;
  }

  const windows::Info after = windows::query_file(handle.get());
  require(!after.directory && unchanged(before, after.status));
}

void write_all(const Handle& handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto want =
        static_cast<DWORD>(std::min<std::uint64_t>(bytes.size(), windows::kMaxTransfer));
    DWORD put = 0;
    require(::WriteFile(handle.get(), bytes.data(), want, &put, nullptr) != 0);
    require(put > 0 && put <= want);
    bytes.remove_prefix(put);
  }
}

}  // namespace zu::archive_fs
