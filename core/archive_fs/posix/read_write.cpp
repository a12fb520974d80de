#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/posix/query.hpp"
#include "archive_fs/posix/system.hpp"
#include "archive_fs/read_buffer.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/files.hpp"

namespace zu::archive_fs {
namespace {

// One call moves at most this many bytes; Linux caps a single transfer just below 2 GiB
// anyway, and a round figure keeps the loop's arithmetic obvious.
constexpr std::size_t kChunk = std::size_t{1} << 30;

}  // namespace

std::string read_all(const Handle& handle, std::uint64_t max_size) {
  const posix::Info before = posix::query(handle.get());
  require(!before.look.directory);
  return read_all_since(handle, max_size, before.status);
}

void read_all_since(const Handle& handle, std::uint64_t max_size, const Status& before,
                    std::string& bytes) {
  read_buffer(before, max_size, bytes);

  // pread leaves the descriptor's position alone, so a caller's handle is not moved.
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t want = std::min(bytes.size() - done, kChunk);
    const ssize_t got = posix::retry([&] {
      return ::pread(handle.get(), bytes.data() + done, want, static_cast<off_t>(done));
    });
    // A short file (truncated meanwhile) ends the reads early and is refused.
    require(got > 0);
    done += static_cast<std::size_t>(got);
  }

  // The same descriptor reaches the same object before and after, so its identity cannot
  // have changed; one look shows whether anything else about it did.
  const posix::Look after = posix::look(handle.get());
  require(!after.directory && after.size == before.size &&
          after.last_write_time == before.last_write_time &&
          after.change_time == before.change_time);
}

void write_all(const Handle& handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t want = std::min(bytes.size(), kChunk);
    const ssize_t put =
        posix::retry([&] { return ::write(handle.get(), bytes.data(), want); });
    require(put > 0);
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

}  // namespace zu::archive_fs
