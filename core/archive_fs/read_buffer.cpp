#include "archive_fs/read_buffer.hpp"

#include <cstddef>

#include "archive_fs/checked_status.hpp"
#include "archive_fs/require.hpp"
#include "zu/archive_fs/handle.hpp"

namespace zu::archive_fs {

void read_buffer(const Status& before, std::uint64_t max_size, std::string& bytes) {
  require(before.size >= 0);
  const auto size = static_cast<std::uint64_t>(before.size);
  // The caller's bound comes first: a size taken from the file never decides alone how
  // much is allocated.
  require(size <= max_size);
  require(size <= bytes.max_size());
  bytes.resize(static_cast<std::size_t>(size));
}

std::string read_all_since(const Handle& file, std::uint64_t max_size, const Status& before) {
  std::string bytes;
  read_all_since(file, max_size, before, bytes);
  return bytes;
}

}  // namespace zu::archive_fs
